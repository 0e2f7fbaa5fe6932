#include "inf_text.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <initializer_list>

#include "portable/inf_schema.h"
#include "portable/package_facts.h"

namespace pack {
namespace {

namespace schema = tarnex::inf;
namespace option = tarnex::inf::option;

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
    // A line of COUNT fields, each set by its place in the schema.
    template <std::size_t Count>
    void Record(const std::wstring& key, const std::wstring (&fields)[Count]) {
        if (!key.empty()) text_ += InfField(key) + L"=";
        for (std::size_t i = 0; i < Count; ++i) text_ += (i ? L"," : L"") + InfField(fields[i]);
        text_ += L"\r\n";
    }
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

std::wstring Flag(bool on) { return on ? schema::kYes : schema::kNo; }

void Header(InfWriter& w) {
    w.Section(schema::kVersion);
    w.Raw(std::wstring(schema::kSignatureKey) + L"=\"" + schema::kSignature + L"\"");
}

// Names of the record sections of one component (or of the installer).
struct EntrySections {
    std::wstring reg, env, links;
};

EntrySections WriteEntries(InfWriter& w, const std::wstring& base, const Entries& e) {
    EntrySections names;
    if (!e.registry.empty()) {
        names.reg = schema::RecordSectionName(base, schema::Records::Reg);
        w.Section(names.reg);
        for (const RegLine& r : e.registry) {
            std::wstring f[schema::kRegFieldCount];
            f[schema::kRegRoot] = Number(r.root);
            f[schema::kRegSubKey] = r.subKey;
            f[schema::kRegValueName] = r.valueName;
            f[schema::kRegType] = Number(r.type);
            f[schema::kRegData] = r.data;
            w.Record(L"", f);
        }
    }
    if (!e.env.empty()) {
        names.env = schema::RecordSectionName(base, schema::Records::Env);
        w.Section(names.env);
        for (const EnvLine& v : e.env) {
            std::wstring f[schema::kEnvFieldCount];
            f[schema::kEnvName] = v.name;
            f[schema::kEnvSystem] = Number(v.system);
            f[schema::kEnvReplace] = Number(v.replace);
            f[schema::kEnvValue] = v.value;
            w.Record(L"", f);
        }
    }
    if (!e.shortcuts.empty()) {
        names.links = schema::RecordSectionName(base, schema::Records::Links);
        w.Section(names.links);
        for (const ShortcutLine& s : e.shortcuts) {
            std::wstring f[schema::kLinkFieldCount];
            f[schema::kLinkFolder] = s.folder;
            f[schema::kLinkName] = s.name;
            f[schema::kLinkTarget] = s.target;
            f[schema::kLinkWorkingFolder] = s.workingFolder;
            f[schema::kLinkArguments] = s.arguments;
            w.Record(L"", f);
        }
    }
    return names;
}

std::wstring WriteRuns(InfWriter& w, const std::wstring& name, const std::vector<RunLine>& runs) {
    if (runs.empty()) return L"";
    w.Section(name);
    for (const RunLine& r : runs) {
        std::wstring f[schema::kRunFieldCount];
        f[schema::kRunCommandLine] = r.commandLine;
        f[schema::kRunFileName] = r.fileName;
        f[schema::kRunFromPackage] = Number(r.fromPackage);
        f[schema::kRunWait] = Number(r.wait);
        f[schema::kRunUseExitCode] = Number(r.exitCode);
        f[schema::kRunShow] = Number(r.show);
        f[schema::kRunMessage] = r.message;
        w.Record(L"", f);
    }
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
    w.Names(schema::KindKey(removal ? tarnex::kDelFiles : tarnex::kCopyFiles), k.files);
    w.Names(schema::KindKey(removal ? tarnex::kDelReg : tarnex::kAddReg), NonEmpty({k.entries.reg}));
    w.Names(schema::KindKey(tarnex::kEnvVars), NonEmpty({k.entries.env}));
    w.Names(schema::KindKey(tarnex::kLinks), NonEmpty({k.entries.links}));
    w.Names(schema::KindKey(tarnex::kExeBefore), NonEmpty({k.before}));
    w.Names(schema::KindKey(tarnex::kExeAfter), NonEmpty({k.after}));
}

void SourceDisksLine(InfWriter& w, const PlannedFile& f) {
    std::wstring fields[schema::kSourceDisksFieldCount];
    fields[schema::kDisk] = L"1";
    fields[schema::kDiskSize] = Number(static_cast<std::int64_t>(f.facts.size));
    fields[schema::kDiskDate] = Date(f.facts.stamp);
    fields[schema::kDiskTime] = Time(f.facts.stamp);
    fields[schema::kDiskVersion] = f.facts.version;
    w.Record(f.sourceName, fields);
}

void FileLine(InfWriter& w, const PlannedFile& f) {
    std::wstring fields[schema::kFileFieldCount];
    fields[schema::kFileSource] = f.sourceName;
    fields[schema::kFileTarget] = f.targetName;
    fields[schema::kFileKind] = Number(f.kind);
    w.Record(L"", fields);
}

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

    w.Section(schema::kOptions);
    w.Line(option::kAccess, {Flag(YesNoOf(p.access, false))});
    w.Line(option::kLicense, {Flag(p.licenseFile.given())});
    w.Line(option::kSupportMode, {Flag(YesNoOf(p.supportMode, true))});
    w.Line(option::kBackWindow, {Flag(YesNoOf(p.backWindow, false))});
    w.Line(option::kBackWindowPicture, {Flag(p.backPicture.given())});
    w.Line(option::kName, {p.name.text});
    w.Line(option::kNameGen, {NameGenOf(p)});
    w.Line(option::kNameUnInst, {NameUnInstOf(p)});
    w.Line(option::kSetNameUI, {SetNameUIOf(p)});
    w.Line(option::kBackName, {BackNameOf(p)});
    w.Line(option::kDir, {InstallFolderOf(p)});
    w.Line(option::kKey, {Number(p.keyRoot), p.keyPath});
    std::wstring versions, packs;
    for (std::size_t i = 0; i < kOsCount; ++i) {
        versions += (i ? L"," : L"") + Number(p.osVersionValues[i]);
        packs += (i ? L"," : L"") + Number(p.osServicePackValues[i]);
    }
    w.Raw(option::kOSVersions + (L"=" + versions));
    w.Raw(option::kOSServicePacks + (L"=" + packs));
    // Shown in Windows' list of programs; older installers ignore them.
    if (p.displayVersion.given()) w.Line(option::kDisplayVersion, {p.displayVersion.text});
    if (p.publisher.given()) w.Line(option::kPublisher, {p.publisher.text});
    const std::pair<const wchar_t*, const Located*> links[] = {
        {option::kURLInfoAbout, &p.urlInfoAbout}, {option::kHelpLink, &p.helpLink}, {option::kComments, &p.comments},
        {option::kContact, &p.contact}};
    for (const auto& [key, value] : links)
        if (value->given()) w.Line(key, {value->text});
    if (!plan.iconName.empty()) w.Line(option::kDisplayIcon, {plan.iconName});

    w.Section(schema::kComponents);
    for (const PlannedInf& inf : plan.infs) w.Line(L"", {inf.infName, inf.cabinetName});

    w.Section(schema::kWindows);
    for (std::size_t i = 0; i < kPageCount; ++i) w.Line(Number(static_cast<std::int64_t>(i)), {plan.pagePictureNames[i]});

    const EntrySections own = WriteEntries(w, schema::kInstallerRecords, p.entries);
    w.Section(schema::kInstallerFiles);
    for (std::size_t f : plan.installerFiles) FileLine(w, plan.files[f]);

    const InstallKeys installer{{schema::kInstallerFiles}, own, L"", L""};
    InstallSection(w, schema::InstallSectionName(schema::kInstallerComponent, false), false, installer);
    InstallSection(w, schema::InstallSectionName(schema::kInstallerComponent, true), true, installer);

    w.Section(schema::kDestinationDirs);
    w.Line(schema::kInstallerFiles, {std::wstring(tarnex::kInstallFolderVariable) + L"\\"});
    w.Section(schema::kSourceDisksFiles);
    for (std::size_t f : plan.installerFiles) SourceDisksLine(w, plan.files[f]);
    return w.Take();
}

std::wstring UserInfText(const PackagePlan& plan, const PlannedInf& inf) {
    InfWriter w;
    Header(w);

    w.Section(schema::kEngNames);
    for (const PlannedComponent& c : inf.components) w.Line(L"", {c.spec->engName});
    const auto keyed = [&](const wchar_t* section, auto value) {
        w.Section(section);
        for (const PlannedComponent& c : inf.components) w.Line(c.spec->engName, {value(c)});
    };
    keyed(schema::kNumbers, [](const PlannedComponent& c) { return Number(c.localNumber); });
    keyed(schema::kLocNames, [](const PlannedComponent& c) { return LocNameOf(*c.spec); });
    keyed(schema::kProperties, [](const PlannedComponent& c) { return c.spec->properties.text; });
    keyed(schema::kCompVersions, [](const PlannedComponent& c) { return VersionOf(*c.spec); });
    keyed(schema::kInstPaths, [](const PlannedComponent& c) { return InstallPathOf(*c.spec); });
    keyed(schema::kComplexes, [](const PlannedComponent& c) { return Flag(YesNoOf(c.spec->complex, false)); });
    w.Section(schema::kDependences);
    for (const PlannedComponent& c : inf.components) {
        std::wstring line = InfField(c.spec->engName) + L"=";
        for (std::size_t i = 0; i < c.dependencies.size(); ++i) line += (i ? L"," : L"") + Number(c.dependencies[i]);
        w.Raw(line);
    }
    keyed(schema::kStates, [](const PlannedComponent& c) { return Number(c.spec->stateValue); });

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
        const InstallKeys install{fileSections, own, WriteRuns(w, schema::RecordSectionName(e, schema::Records::RunBefore), spec.runBefore),
                                  WriteRuns(w, schema::RecordSectionName(e, schema::Records::RunAfter), spec.runAfter)};
        const InstallKeys removal{fileSections, own, WriteRuns(w, schema::RecordSectionName(e, schema::Records::RemoveBefore), spec.removeBefore),
                                  WriteRuns(w, schema::RecordSectionName(e, schema::Records::RemoveAfter), spec.removeAfter)};
        InstallSection(w, schema::InstallSectionName(e, false), false, install);
        InstallSection(w, schema::InstallSectionName(e, true), true, removal);
    }

    w.Section(schema::kDestinationDirs);
    for (const PlannedComponent& c : inf.components)
        for (const FileSection& s : c.sections) w.Line(s.name, {s.destination});
    w.Section(schema::kSourceDisksFiles);
    for (std::size_t f : listed) SourceDisksLine(w, plan.files[f]);
    return w.Take();
}

}  // namespace pack
