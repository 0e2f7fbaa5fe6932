#include "inf_text.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <initializer_list>

namespace pack {
namespace {

// Builds an INF text line by line.
class InfWriter {
public:
    void Section(const std::wstring& name) {
        if (!text_.empty()) text_ += L"\r\n";
        text_ += L"[" + name + L"]\r\n";
    }
    // KEY=FIELD,FIELD...; an empty key writes the fields alone.
    void Line(const std::wstring& key, std::initializer_list<std::wstring> fields) {
        if (!key.empty()) text_ += InfField(key) + L"=";
        bool first = true;
        for (const std::wstring& f : fields) {
            if (!first) text_ += L",";
            text_ += InfField(f);
            first = false;
        }
        text_ += L"\r\n";
    }
    // A key whose value is a list of section names.
    void Names(const wchar_t* key, const std::vector<std::wstring>& names) {
        if (names.empty()) return;
        text_ += key;
        text_ += L"=";
        for (std::size_t i = 0; i < names.size(); ++i) text_ += (i ? L"," : L"") + InfField(names[i]);
        text_ += L"\r\n";
    }
    void Raw(const std::wstring& line) { text_ += line + L"\r\n"; }
    std::wstring Take() { return std::move(text_); }

private:
    std::wstring text_;
};

std::wstring Number(std::int64_t n) { return std::to_wstring(n); }

std::wstring Date(const tarnex::FileStamp& s) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u", unsigned(s.Year), unsigned(s.Month), unsigned(s.Day));
    return text;
}

std::wstring Time(const tarnex::FileStamp& s) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%02u:%02u:%02u", unsigned(s.Hour), unsigned(s.Minute), unsigned(s.Second));
    return text;
}

std::wstring Flag(bool on) { return on ? L"Yes" : L"No"; }

void Header(InfWriter& w) {
    w.Section(L"Version");
    w.Raw(L"Signature=\"$Windows NT$\"");
}

// Names of the record sections of one component (or of the installer).
struct EntrySections {
    std::wstring reg, env, links;
};

EntrySections WriteEntries(InfWriter& w, const std::wstring& base, const Entries& e) {
    EntrySections names;
    if (!e.registry.empty()) {
        names.reg = base + L".Reg";
        w.Section(names.reg);
        for (const RegLine& r : e.registry)
            w.Line(L"", {Number(r.root), r.subKey, r.valueName, Number(r.type), r.data});
    }
    if (!e.env.empty()) {
        names.env = base + L".Env";
        w.Section(names.env);
        for (const EnvLine& v : e.env) w.Line(L"", {v.name, Number(v.system), Number(v.replace), v.value});
    }
    if (!e.shortcuts.empty()) {
        names.links = base + L".Links";
        w.Section(names.links);
        for (const ShortcutLine& s : e.shortcuts)
            w.Line(L"", {s.folder, s.name, s.target, s.workingFolder, s.arguments});
    }
    return names;
}

std::wstring WriteRuns(InfWriter& w, const std::wstring& name, const std::vector<RunLine>& runs) {
    if (runs.empty()) return L"";
    w.Section(name);
    for (const RunLine& r : runs)
        w.Line(L"", {r.commandLine, r.fileName, Number(r.fromPackage), Number(r.wait), Number(r.exitCode),
                     Number(r.show), r.message});
    return name;
}

std::vector<std::wstring> NonEmpty(std::initializer_list<std::wstring> names) {
    std::vector<std::wstring> out;
    for (const std::wstring& n : names)
        if (!n.empty()) out.push_back(n);
    return out;
}

// An install section ("... - DefaultInstall") or its removal twin.
struct InstallKeys {
    std::vector<std::wstring> files;
    EntrySections entries;
    std::wstring before, after;
};

void InstallSection(InfWriter& w, const std::wstring& name, bool removal, const InstallKeys& k) {
    w.Section(name);
    w.Names(removal ? L"DelFiles" : L"CopyFiles", k.files);
    w.Names(removal ? L"DelReg" : L"AddReg", NonEmpty({k.entries.reg}));
    w.Names(L"EnvVars", NonEmpty({k.entries.env}));
    w.Names(L"Links", NonEmpty({k.entries.links}));
    w.Names(L"EXEBefore", NonEmpty({k.before}));
    w.Names(L"EXEAfter", NonEmpty({k.after}));
}

void SourceDisksLine(InfWriter& w, const PlannedFile& f) {
    w.Line(f.sourceName, {L"1", Number(static_cast<std::int64_t>(f.facts.size)), Date(f.facts.stamp),
                          Time(f.facts.stamp), f.facts.version});
}

void FileLine(InfWriter& w, const PlannedFile& f) { w.Line(L"", {f.sourceName, f.targetName, Number(f.kind)}); }

}  // namespace

std::wstring InfField(std::wstring_view text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'%') out += c;
        out += c;
    }
    return out + L"\"";
}

std::wstring DescriptionText(const Manifest& manifest, const PackagePlan& plan) {
    const PackageSpec& p = manifest.package;
    InfWriter w;
    Header(w);

    w.Section(L"OPTIONS");
    w.Line(L"Access", {Flag(YesNoOf(p.access, false))});
    w.Line(L"License", {Flag(p.licenseFile.given())});
    w.Line(L"SupportMode", {Flag(YesNoOf(p.supportMode, true))});
    w.Line(L"BackWindow", {Flag(YesNoOf(p.backWindow, false))});
    w.Line(L"BackWindowPicture", {Flag(p.backPicture.given())});
    w.Line(L"Name", {p.name.text});
    w.Line(L"NameGen", {NameGenOf(p)});
    w.Line(L"NameUnInst", {NameUnInstOf(p)});
    w.Line(L"SetNameUI", {SetNameUIOf(p)});
    w.Line(L"BackName", {BackNameOf(p)});
    w.Line(L"Dir", {InstallFolderOf(p)});
    w.Line(L"Key", {Number(p.keyRoot), p.keyPath});
    std::wstring versions, packs;
    for (std::size_t i = 0; i < kOsCount; ++i) {
        versions += (i ? L"," : L"") + Number(p.osVersionValues[i]);
        packs += (i ? L"," : L"") + Number(p.osServicePackValues[i]);
    }
    w.Raw(L"OSVersions=" + versions);
    w.Raw(L"OSServicePacks=" + packs);
    // Shown in Windows' list of programs; older installers ignore them.
    if (p.displayVersion.given()) w.Line(L"DisplayVersion", {p.displayVersion.text});
    if (p.publisher.given()) w.Line(L"Publisher", {p.publisher.text});
    const std::pair<const wchar_t*, const Located*> links[] = {
        {L"URLInfoAbout", &p.urlInfoAbout}, {L"HelpLink", &p.helpLink}, {L"Comments", &p.comments}, {L"Contact", &p.contact}};
    for (const auto& [key, value] : links)
        if (value->given()) w.Line(key, {value->text});
    if (!plan.iconName.empty()) w.Line(L"DisplayIcon", {plan.iconName});

    w.Section(L"COMPONENTS");
    for (const PlannedInf& inf : plan.infs) w.Line(L"", {inf.infName, inf.cabinetName});

    w.Section(L"WINDOWS");
    for (std::size_t i = 0; i < kPageCount; ++i) w.Line(Number(static_cast<std::int64_t>(i)), {plan.pagePictureNames[i]});

    const EntrySections own = WriteEntries(w, L"Installer", p.entries);
    w.Section(L"Installer.Files");
    for (std::size_t f : plan.installerFiles) FileLine(w, plan.files[f]);

    const InstallKeys installer{{L"Installer.Files"}, own, L"", L""};
    InstallSection(w, L"InstallProgram - DefaultInstall", false, installer);
    InstallSection(w, L"InstallProgram - DefaultUnInstall", true, installer);

    w.Section(L"DestinationDirs");
    w.Line(L"Installer.Files", {L"%65600%\\"});
    w.Section(L"SourceDisksFiles");
    for (std::size_t f : plan.installerFiles) SourceDisksLine(w, plan.files[f]);
    return w.Take();
}

std::wstring UserInfText(const PackagePlan& plan, const PlannedInf& inf) {
    InfWriter w;
    Header(w);

    w.Section(L"EngNames");
    for (const PlannedComponent& c : inf.components) w.Line(L"", {c.spec->engName});
    const auto keyed = [&](const wchar_t* section, auto value) {
        w.Section(section);
        for (const PlannedComponent& c : inf.components) w.Line(c.spec->engName, {value(c)});
    };
    keyed(L"NUMBERS", [](const PlannedComponent& c) { return Number(c.localNumber); });
    keyed(L"LocNames", [](const PlannedComponent& c) { return LocNameOf(*c.spec); });
    keyed(L"PROPERTIES", [](const PlannedComponent& c) { return c.spec->properties.text; });
    keyed(L"CompVersions", [](const PlannedComponent& c) { return VersionOf(*c.spec); });
    keyed(L"InstPaths", [](const PlannedComponent& c) { return InstallPathOf(*c.spec); });
    keyed(L"COMPLEXES", [](const PlannedComponent& c) { return Flag(YesNoOf(c.spec->complex, false)); });
    w.Section(L"DEPENDENCES");
    for (const PlannedComponent& c : inf.components) {
        std::wstring line = InfField(c.spec->engName) + L"=";
        for (std::size_t i = 0; i < c.dependencies.size(); ++i) line += (i ? L"," : L"") + Number(c.dependencies[i]);
        w.Raw(line);
    }
    keyed(L"STATES", [](const PlannedComponent& c) { return Number(c.spec->stateValue); });

    std::vector<std::size_t> listed;  // every file these components name, once
    std::vector<bool> isListed(plan.files.size(), false);
    for (const PlannedComponent& c : inf.components) {
        const ComponentSpec& spec = *c.spec;
        const std::wstring& e = spec.engName;
        std::vector<std::wstring> fileSections;
        for (const FileSection& s : c.sections) {
            fileSections.push_back(s.name);
            w.Section(s.name);
            for (std::size_t f : s.files) {
                FileLine(w, plan.files[f]);
                if (!isListed[f]) listed.push_back(f), isListed[f] = true;
            }
        }
        const EntrySections own = WriteEntries(w, e, spec.entries);
        const InstallKeys install{fileSections, own, WriteRuns(w, e + L".RunBefore", spec.runBefore),
                                  WriteRuns(w, e + L".RunAfter", spec.runAfter)};
        const InstallKeys removal{fileSections, own, WriteRuns(w, e + L".RemoveBefore", spec.removeBefore),
                                  WriteRuns(w, e + L".RemoveAfter", spec.removeAfter)};
        InstallSection(w, e + L" - DefaultInstall", false, install);
        InstallSection(w, e + L" - DefaultUnInstall", true, removal);
    }

    w.Section(L"DestinationDirs");
    for (const PlannedComponent& c : inf.components)
        for (const FileSection& s : c.sections) w.Line(s.name, {s.destination});
    w.Section(L"SourceDisksFiles");
    for (std::size_t f : listed) SourceDisksLine(w, plan.files[f]);
    return w.Take();
}

}  // namespace pack
