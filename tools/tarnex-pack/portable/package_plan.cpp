#include "package_plan.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <map>
#include <set>

#include "description/component_record.h"
#include "description/setup_description.h"
#include "portable/inf_schema.h"
#include "portable/package_facts.h"

namespace pack {
namespace {

constexpr std::size_t kMaxSectionName = 255;     // the setup API's limit
constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;  // a cabinet folder and the description's size field
constexpr std::size_t kTreeLevels = tarnex::kDeepestTreeLevel + 1;  // the component page shows no more
// Where "%Program Files%" usually leads on the systems the package is for;
// lengths are checked with the default install folder under it.
constexpr wchar_t kTypicalProgramFiles[] = L"C:\\Program Files (x86)";
constexpr std::size_t kInfCopy = SIZE_MAX;  // a place taken by the copy of a user INF file

std::wstring Str(std::size_t n) { return std::to_wstring(n); }

bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || path.compare(0, 2, L"\\\\") == 0;
}

std::wstring Slashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring LastPart(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderPart(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash);
}

// A name that every code page spells alike and that needs no quoting in a
// cabinet: what source names are made of.
bool IsPlainName(const std::wstring& name) {
    if (name.empty() || name.front() == L' ') return false;
    for (wchar_t c : name)
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
              std::wstring_view(L" ._-~()+").find(c) != std::wstring_view::npos))
            return false;
    return true;
}

std::wstring AccessPrefix(const std::wstring& name) {
    for (const wchar_t* prefix : {tarnex::kAccess97Prefix, tarnex::kAccess2000Prefix})
        if (name.compare(0, std::wcslen(prefix), prefix) == 0) return prefix;
    return L"";
}

class Planner {
public:
    Planner(const Manifest& m, const PlanInputs& in, FileSource& fs, PackagePlan& plan, std::vector<Diagnostic>& d)
        : m_(m), p_(m.package), in_(in), fs_(fs), plan_(plan), d_(d) {}

    bool Run();

private:
    void Error(int line, const std::wstring& message) { d_.push_back({line, message}); }

    std::wstring Resolve(const std::wstring& source) const {
        const std::wstring path = Slashes(source);
        return IsAbsolute(path) ? path : in_.filesFolder + path;
    }

    // A name in the package folder, or a path below the install folder,
    // taken by one thing only.
    bool ClaimPackageName(const std::wstring& name, int line, const std::wstring& what);
    // The record of the file's installed path, or kInfCopy when that place is refused.
    std::size_t AddFile(PlannedFile file, const std::wstring& component);

    void PlanInstallerFiles();
    void PlanComponents();
    bool OrderComponents(std::vector<std::vector<std::size_t>>& groups);
    void PlanTakes(const ComponentSpec& spec, PlannedComponent& planned);
    void AssignSourceNames();
    void CheckTexts();
    void CheckLength(const std::wstring& text, std::size_t capacity, int line, const wchar_t* what);
    void Spell(const std::wstring& text, int line);

    const Manifest& m_;
    const PackageSpec& p_;
    const PlanInputs& in_;
    FileSource& fs_;
    PackagePlan& plan_;
    std::vector<Diagnostic>& d_;

    std::map<std::wstring, int> packageNames_;          // folded name -> line
    std::map<std::wstring, std::size_t> targets_;       // folded installed path -> file
    std::map<std::size_t, std::wstring> fileOwner_;     // file -> EngName of its first component
    std::set<std::wstring> sourceNames_;                // folded
    std::wstring defaultFolder_;                        // the install folder without its backslash
};

bool Planner::ClaimPackageName(const std::wstring& name, int line, const std::wstring& what) {
    const auto [it, added] = packageNames_.emplace(FoldName(name), line);
    if (!added) {
        Error(line, what + L" would be \"" + name + L"\" in the package folder, a name already taken" +
                        (it->second != 0 ? L" on line " + Str(it->second) : std::wstring(L" by the package itself")));
        return false;
    }
    sourceNames_.insert(FoldName(name));
    return true;
}

// One record per installed path; the same source taken twice to one place
// (by two components, say) is one shared file.
std::size_t Planner::AddFile(PlannedFile file, const std::wstring& component) {
    const std::wstring key = FoldName(file.targetFolder + file.targetName);
    const auto found = targets_.find(key);
    if (found == targets_.end()) {
        targets_.emplace(key, plan_.files.size());
        fileOwner_[plan_.files.size()] = component;
        plan_.files.push_back(std::move(file));
        return plan_.files.size() - 1;
    }
    const std::wstring where = file.targetFolder == L"11" ? L"the system folder" : L"\"" + file.targetFolder + L"\"";
    if (found->second == kInfCopy) {
        Error(file.line, L"\"" + file.targetName + L"\" in " + where + L" is where the installer keeps its copy of a user INF file");
        return kInfCopy;
    }
    const PlannedFile& first = plan_.files[found->second];
    if (first.kind == tarnex::kLooseFile && file.kind != tarnex::kLooseFile)
        Error(file.line, L"\"" + file.targetName + L"\" in " + where + L" is a file of the installer itself");
    else if (!SameName(first.sourcePath, file.sourcePath) || first.kind != file.kind)
        Error(file.line, L"two files named \"" + file.targetName + L"\" in one folder, " + where +
                             (first.line != 0 ? L" (the other on line " + Str(first.line) + L")" : L""));
    return found->second;
}

// Component 0: the installer's copy, its description, the pictures its
// wizard shows and the helper programs run from the package, all loose in
// the package folder and installed beside the installer's copy, so that the
// installed copy finds them as the package's copy did.
void Planner::PlanInstallerFiles() {
    const std::wstring installer = InstallerOf(p_);
    const std::wstring setName = SetNameUIOf(p_);
    plan_.descriptionName = installer.substr(0, installer.size() - 4) + L".inf";
    const std::wstring installedDescription = setName.substr(0, setName.size() - 4) + L".inf";

    const auto loose = [&](const std::wstring& sourcePath, const std::wstring& packageName,
                           const std::wstring& installedName, int line, bool needFacts) {
        PlannedFile file;
        file.sourcePath = sourcePath;
        file.sourceName = packageName;
        file.targetFolder = std::wstring(tarnex::kInstallFolderVariable) + L"\\";
        file.targetName = installedName;
        file.kind = tarnex::kLooseFile;
        file.line = line;
        if (needFacts && !fs_.Facts(sourcePath, file.facts)) {
            Error(line, L"the file \"" + sourcePath + L"\" does not exist or cannot be read");
            return;
        }
        if (file.facts.size > kMaxFileSize) Error(line, L"\"" + sourcePath + L"\" is larger than 2 GB");
        const std::size_t index = AddFile(std::move(file), L"");
        if (index != kInfCopy) plan_.installerFiles.push_back(index);
    };

    ClaimPackageName(installer, p_.installer.line, L"the installer");
    ClaimPackageName(plan_.descriptionName, p_.installer.line, L"the description");
    plan_.copies.push_back({in_.installerPath, installer});
    loose(in_.installerPath, installer, setName, p_.setNameUI.line, true);

    if (p_.licenseFile.given() && ClaimPackageName(tarnex::kLicenceFile, p_.licenseFile.line, L"the licence")) {
        FileFacts facts;
        const std::wstring path = Resolve(p_.licenseFile.text);
        if (!fs_.Facts(path, facts)) Error(p_.licenseFile.line, L"the licence \"" + path + L"\" does not exist");
        plan_.copies.push_back({path, tarnex::kLicenceFile});
    }
    if (p_.backPicture.given() && ClaimPackageName(tarnex::kBackgroundPictureFile, p_.backPicture.line, L"the background picture")) {
        const std::wstring path = Resolve(p_.backPicture.text);
        plan_.copies.push_back({path, tarnex::kBackgroundPictureFile});
        loose(path, tarnex::kBackgroundPictureFile, tarnex::kBackgroundPictureFile, p_.backPicture.line, true);
    }
    if (p_.icon.given()) {
        const std::wstring path = Resolve(p_.icon.text);
        const std::wstring name = LastPart(path);
        if (name.size() >= tarnex::kOptionField) Error(p_.icon.line, L"the icon's file name is too long");
        else if (ClaimPackageName(name, p_.icon.line, L"the icon")) {
            plan_.iconName = name;
            plan_.copies.push_back({path, name});
            loose(path, name, name, p_.icon.line, true);
        }
    }
    std::map<std::wstring, std::wstring> pictures;  // one picture may serve several pages
    for (std::size_t i = 0; i < kPageCount; ++i) {
        const Located& picture = p_.pagePictures[i];
        if (!picture.given()) continue;
        const std::wstring path = Resolve(picture.text);
        const std::wstring name = LastPart(path);
        plan_.pagePictureNames[i] = name;
        const auto known = pictures.find(FoldName(name));
        if (known != pictures.end() && SameName(known->second, path)) continue;
        pictures.emplace(FoldName(name), path);
        if (!ClaimPackageName(name, picture.line, L"the picture")) continue;
        plan_.copies.push_back({path, name});
        loose(path, name, name, picture.line, true);
    }
    std::set<std::wstring> helpers;
    for (const ComponentSpec& c : m_.components)
        for (const auto* list : {&c.runBefore, &c.runAfter, &c.removeBefore, &c.removeAfter})
            for (const RunLine& run : *list) {
                if (!run.fromPackage || !helpers.insert(FoldName(run.fileName)).second) continue;
                if (!ClaimPackageName(run.fileName, run.line, L"the helper program")) continue;
                const std::wstring path = Resolve(run.fileName);
                plan_.copies.push_back({path, run.fileName});
                loose(path, run.fileName, run.fileName, run.line, true);
            }
    // The description's own facts are known once it is written.
    loose(L"", plan_.descriptionName, installedDescription, p_.installer.line, false);
}

bool Planner::OrderComponents(std::vector<std::vector<std::size_t>>& groups) {
    const std::vector<ComponentSpec>& cs = m_.components;
    const std::size_t n = cs.size();
    std::vector<std::vector<std::size_t>> parents(n);
    bool good = true;
    for (std::size_t i = 0; i < n; ++i)
        for (const Located& parent : cs[i].parents) {
            std::size_t found = n;
            for (std::size_t j = 0; j < n; ++j)
                if (SameName(cs[j].engName, parent.text)) found = j;
            if (found == n) {
                Error(parent.line, L"the parent \"" + parent.text + L"\" of \"" + cs[i].engName + L"\" does not exist");
                good = false;
            } else if (std::find(parents[i].begin(), parents[i].end(), found) == parents[i].end()) {
                parents[i].push_back(found);
            }
        }
    if (!good) return false;

    // Parents come before their children (the catalogue resolves a
    // dependency only on a component listed earlier), in manifest order
    // otherwise; a component left over lies on a cycle.
    std::vector<std::size_t> order, depth(n, 0);
    std::vector<bool> placed(n, false);
    while (order.size() < n) {
        std::size_t next = n;
        for (std::size_t i = 0; i < n && next == n; ++i)
            if (!placed[i] && std::all_of(parents[i].begin(), parents[i].end(), [&](std::size_t p) { return placed[p]; }))
                next = i;
        if (next == n) break;
        placed[next] = true;
        order.push_back(next);
        depth[next] = 1;
        for (std::size_t parent : parents[next]) depth[next] = std::max(depth[next], depth[parent] + 1);
        if (depth[next] == kTreeLevels + 1)
            Error(cs[next].line, L"\"" + cs[next].engName + L"\" would be on level " + Str(depth[next]) +
                                     L" of the component tree; the installer shows four levels at most");
    }
    if (order.size() < n) {
        std::size_t at = 0;
        while (placed[at]) ++at;
        // Walk up unplaced parents until one repeats: that is the cycle.
        std::vector<std::size_t> path{at};
        for (;;) {
            std::size_t up = n;
            for (std::size_t p : parents[path.back()])
                if (!placed[p]) up = p;
            const std::size_t seen = static_cast<std::size_t>(std::find(path.begin(), path.end(), up) - path.begin());
            path.push_back(up);
            if (seen + 1 < path.size()) {
                path.erase(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(seen));
                break;
            }
        }
        std::wstring cycle;
        for (std::size_t i = 0; i < path.size(); ++i) cycle += (i ? L" -> " : L"") + cs[path[i]].engName;
        Error(cs[path.front()].line, L"a dependency cycle: " + cycle + L" (each is the parent of the one before)");
        return false;
    }

    // Each tree (components joined through parents) becomes one INF file.
    std::vector<std::size_t> root(n);
    for (std::size_t i = 0; i < n; ++i) root[i] = i;
    const auto find = [&](std::size_t i) {
        while (root[i] != i) i = root[i] = root[root[i]];
        return i;
    };
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t p : parents[i]) root[find(i)] = find(p);
    std::map<std::size_t, std::size_t> groupOf;
    for (std::size_t i = 0; i < n; ++i)
        if (groupOf.emplace(find(i), groups.size()).second) groups.emplace_back();
    for (std::size_t i : order) groups[groupOf[find(i)]].push_back(i);
    return true;
}

void Planner::PlanComponents() {
    const std::vector<ComponentSpec>& cs = m_.components;
    std::map<std::int32_t, int> numbers;
    for (const ComponentSpec& c : cs) {
        if (c.localNumber == 0) continue;
        const auto [it, added] = numbers.emplace(c.localNumber, c.number.line);
        if (!added)
            Error(c.number.line, L"Number " + Str(static_cast<std::size_t>(c.localNumber)) + L" is taken on line " +
                                     Str(static_cast<std::size_t>(it->second)));
    }
    std::vector<std::int32_t> local(cs.size());
    std::int32_t next = 1;
    for (std::size_t i = 0; i < cs.size(); ++i) {
        if (cs[i].localNumber != 0) {
            local[i] = cs[i].localNumber;
            continue;
        }
        while (numbers.count(next) != 0) ++next;
        local[i] = next;
        numbers.emplace(next, 0);
    }

    std::vector<std::vector<std::size_t>> groups;
    if (!OrderComponents(groups)) return;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        PlannedInf inf;
        inf.infName = L"user" + Str(g + 1) + L".inf";
        inf.cabinetName = L"user" + Str(g + 1) + L".cab";
        ClaimPackageName(inf.infName, 0, L"a user INF file");
        ClaimPackageName(inf.cabinetName, 0, L"a cabinet");
        // The installer copies the INF file into the install folder.
        if (!targets_.emplace(FoldName(std::wstring(tarnex::kInstallFolderVariable) + L"\\" + inf.infName), kInfCopy).second)
            Error(p_.setNameUI.line, L"the installer's files take \"" + inf.infName +
                                         L"\" in the install folder, the name of a user INF file's copy");
        plan_.infs.push_back(std::move(inf));
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        PlannedInf& inf = plan_.infs[g];
        for (std::size_t i : groups[g]) {
            PlannedComponent planned;
            planned.spec = &cs[i];
            planned.localNumber = local[i];
            for (const Located& parent : cs[i].parents)
                for (std::size_t j = 0; j < cs.size(); ++j)
                    if (SameName(cs[j].engName, parent.text)) planned.dependencies.push_back(local[j]);
            if (planned.dependencies.empty()) planned.dependencies.push_back(0);
            PlanTakes(cs[i], planned);
            inf.components.push_back(std::move(planned));
        }
    }
}

void Planner::PlanTakes(const ComponentSpec& spec, PlannedComponent& planned) {
    const auto destinationOf = [](const std::wstring& folder) {
        if (folder == L"%11%") return std::wstring(L"11");
        return std::wstring(tarnex::kInstallFolderVariable) + L"\\" + (folder.empty() ? L"" : folder + L"\\");
    };
    const auto sectionFor = [&](const std::wstring& destination) -> FileSection& {
        for (FileSection& s : planned.sections)
            if (SameName(s.destination, destination)) return s;
        planned.sections.push_back({tarnex::inf::FileSectionName(spec.engName, planned.sections.size() + 1), destination, {}});
        return planned.sections.back();
    };
    const auto take = [&](const TakeLine& line, const std::wstring& sourcePath, const std::wstring& folder,
                          const std::wstring& name) {
        PlannedFile file;
        file.sourcePath = sourcePath;
        file.targetFolder = destinationOf(folder);
        file.targetName = name;
        file.kind = line.kind;
        file.sign = line.sign;
        file.line = line.line;
        if (!fs_.Facts(sourcePath, file.facts))
            return Error(line.line, L"the file \"" + sourcePath + L"\" does not exist or cannot be read");
        if (file.facts.size > kMaxFileSize)
            return Error(line.line, L"\"" + sourcePath + L"\" is larger than 2 GB, the most a cabinet holds");
        file.facts.stamp = CabinetStamp(file.facts.stamp);
        const std::size_t index = AddFile(std::move(file), spec.engName);
        if (index == kInfCopy) return;
        std::vector<std::size_t>& files = sectionFor(plan_.files[index].targetFolder).files;
        if (std::find(files.begin(), files.end(), index) == files.end()) files.push_back(index);
    };

    for (const TakeLine& line : spec.takes) {
        const std::wstring source = Resolve(line.source);
        if (!line.folder) {
            if (fs_.IsFolder(source)) {
                Error(line.line, L"\"" + source + L"\" is a folder; take it with Folder =");
                continue;
            }
            const std::wstring target = line.targetIsFolder ? line.target : FolderPart(line.target);
            const std::wstring name = line.targetIsFolder ? LastPart(source) : LastPart(line.target);
            const std::wstring problem = CheckFileName(name);
            if (!problem.empty()) {
                Error(line.line, L"the file name \"" + name + L"\" " + problem);
                continue;
            }
            take(line, source, target, name);
            continue;
        }
        std::vector<std::wstring> below;
        if (!fs_.IsFolder(source) || !fs_.ListFiles(source, below)) {
            Error(line.line, L"the folder \"" + source + L"\" does not exist or cannot be read");
            continue;
        }
        if (below.empty()) {
            Error(line.line, L"the folder \"" + source + L"\" holds no files");
            continue;
        }
        if (line.target == L"%11%" && std::any_of(below.begin(), below.end(), [](const std::wstring& f) {
                return f.find(L'\\') != std::wstring::npos;
            })) {
            Error(line.line, L"only files, not folders, can go to the system folder");
            continue;
        }
        const std::wstring base = source.back() == L'\\' ? source : source + L"\\";
        for (const std::wstring& relative : below) {
            const std::wstring problem = CheckRelativePath(relative);
            if (!problem.empty()) {
                Error(line.line, L"\"" + relative + L"\" in \"" + source + L"\" " + problem);
                continue;
            }
            std::wstring folder = line.target;
            const std::wstring sub = FolderPart(relative);
            if (!sub.empty()) folder = folder.empty() ? sub : folder + L"\\" + sub;
            take(line, base + relative, folder, LastPart(relative));
        }
    }
}

// Source names key SourceDisksFiles and name the files in the cabinets. The
// cabinet transfer hands a cabinet's file to the first record of that name
// in the whole package, so every name is unique package-wide, and plain
// ASCII so no code page can change it.
void Planner::AssignSourceNames() {
    for (PlannedFile& file : plan_.files) {
        if (!file.sourceName.empty()) continue;
        const std::wstring prefix = AccessPrefix(file.targetName);
        std::wstring stem = file.targetName, extension;
        const std::size_t dot = stem.find_last_of(L'.');
        if (dot != std::wstring::npos && dot != 0) {
            extension = stem.substr(dot);
            stem.erase(dot);
        }
        if (!IsPlainName(extension)) extension.clear();
        if (!IsPlainName(stem)) stem = prefix + L"file";
        std::wstring name = stem + extension;
        for (std::size_t n = 2; sourceNames_.count(FoldName(name)) != 0; ++n) name = stem + L"~" + Str(n) + extension;
        sourceNames_.insert(FoldName(name));
        file.sourceName = name;
    }
}

void Planner::CheckLength(const std::wstring& text, std::size_t capacity, int line, const wchar_t* what) {
    if (text.find(tarnex::kInstallFolderVariable) == std::wstring::npos) return;
    std::wstring expanded = text;
    for (std::size_t at = expanded.find(tarnex::kInstallFolderVariable); at != std::wstring::npos;
         at = expanded.find(tarnex::kInstallFolderVariable, at + defaultFolder_.size()))
        expanded.replace(at, std::wcslen(tarnex::kInstallFolderVariable), defaultFolder_);
    if (expanded.size() >= capacity)
        Error(line, std::wstring(what) + L" is " + Str(expanded.size()) + L" characters long in the install folder \"" +
                        defaultFolder_ + L"\"; the installer holds at most " + Str(capacity - 1));
}

void Planner::Spell(const std::wstring& text, int line) {
    if (in_.spellable && !in_.spellable(text))
        Error(line, L"\"" + text + L"\" cannot be spelt in the code page of the INF files; see CodePage");
}

void Planner::CheckTexts() {
    const std::pair<const Located*, bool> options[] = {
        {&p_.name, true},      {&p_.nameGen, true},  {&p_.nameUnInst, true}, {&p_.displayVersion, true},
        {&p_.publisher, true}, {&p_.dir, true},      {&p_.key, true},        {&p_.backName, true},
        {&p_.setNameUI, true}, {&p_.installer, true}, {&p_.urlInfoAbout, true}, {&p_.helpLink, true},
        {&p_.comments, true},  {&p_.contact, true}};
    for (const auto& [value, spelt] : options)
        if (value->given() && spelt) Spell(value->text, value->line);
    for (std::size_t i = 0; i < kPageCount; ++i)
        if (p_.pagePictures[i].given()) Spell(plan_.pagePictureNames[i], p_.pagePictures[i].line);
    if (!plan_.iconName.empty()) Spell(plan_.iconName, p_.icon.line);

    const auto entries = [&](const Entries& e) {
        for (const RegLine& r : e.registry) {
            for (const std::wstring* t : {&r.subKey, &r.valueName, &r.data}) Spell(*t, r.line);
            CheckLength(r.data, tarnex::kPathField, r.line, L"the data");
        }
        for (const EnvLine& v : e.env) {
            Spell(v.name, v.line);
            Spell(v.value, v.line);
            CheckLength(v.value, tarnex::kPathField, v.line, L"the value");
        }
        for (const ShortcutLine& s : e.shortcuts) {
            for (const std::wstring* t : {&s.folder, &s.name, &s.target, &s.workingFolder, &s.arguments}) Spell(*t, s.line);
            CheckLength(s.target, tarnex::kPathField, s.line, L"the shortcut target");
            CheckLength(s.workingFolder, tarnex::kPathField, s.line, L"the working folder");
            CheckLength(s.arguments, tarnex::kPathField, s.line, L"the arguments");
        }
    };
    entries(p_.entries);
    for (const ComponentSpec& c : m_.components) {
        Spell(c.engName, c.line);
        for (const Located* v : {&c.locName, &c.properties, &c.version, &c.installPath})
            if (v->given()) Spell(v->text, v->line);
        CheckLength(InstallPathOf(c), tarnex::kInstallPathField, c.installPath.given() ? c.installPath.line : c.line,
                    L"InstallPath");
        entries(c.entries);
        for (const auto* list : {&c.runBefore, &c.runAfter, &c.removeBefore, &c.removeAfter})
            for (const RunLine& r : *list) {
                Spell(r.commandLine, r.line);
                Spell(r.message, r.line);
                CheckLength(r.commandLine, tarnex::kCommandLineField, r.line, L"the command line");
            }
    }
    for (const PlannedFile& f : plan_.files) {
        Spell(f.targetName, f.line);
        Spell(f.targetFolder, f.line);
        CheckLength(f.targetFolder, tarnex::kPathField, f.line, L"the target folder");
    }

    // Section names: the setup API's limit, and no clash with the fixed ones.
    for (const PlannedInf& inf : plan_.infs) {
        std::set<std::wstring> names;
        for (const wchar_t* fixed : tarnex::inf::kFixedUserSections) names.insert(FoldName(fixed));
        for (const PlannedComponent& c : inf.components) {
            std::vector<std::wstring> own = tarnex::inf::OwnSectionNames(c.spec->engName);
            for (const FileSection& s : c.sections) own.push_back(s.name);
            for (const std::wstring& name : own) {
                if (name.size() > kMaxSectionName) {
                    Error(c.spec->line, L"the component name is too long for its section names (" + Str(name.size()) +
                                            L" characters of " + Str(kMaxSectionName) + L")");
                    break;
                }
                if (!names.insert(FoldName(name)).second) {
                    Error(c.spec->line, L"the section name \"" + name + L"\" of this component is taken; rename it");
                    break;
                }
            }
        }
    }
}

bool Planner::Run() {
    plan_ = PackagePlan{};
    std::wstring programFiles = InstallFolderOf(p_);
    if (programFiles.compare(0, 15, L"%Program Files%") == 0) programFiles.replace(0, 15, kTypicalProgramFiles);
    defaultFolder_ = programFiles.substr(0, programFiles.size() - 1);

    if (!fs_.IsFolder(in_.filesFolder)) {
        Error(p_.files.line, L"the files folder \"" + in_.filesFolder + L"\" does not exist");
        return false;
    }
    PlanInstallerFiles();
    PlanComponents();
    AssignSourceNames();
    CheckTexts();

    for (PlannedInf& inf : plan_.infs) {
        std::set<std::size_t> seen;
        for (const PlannedComponent& c : inf.components)
            for (const FileSection& s : c.sections)
                for (std::size_t f : s.files)
                    // A file shared with an earlier tree is in that tree's cabinet.
                    if (fileOwner_[f] == c.spec->engName && seen.insert(f).second) {
                        inf.cabinetFiles.push_back(f);
                        plan_.cabinetBytes += plan_.files[f].facts.size;
                    }
    }
    return d_.empty();
}

}  // namespace

bool PlanPackage(const Manifest& manifest, const PlanInputs& inputs, FileSource& files, PackagePlan& plan,
                 std::vector<Diagnostic>& diagnostics) {
    diagnostics.clear();
    return Planner(manifest, inputs, files, plan, diagnostics).Run();
}

tarnex::FileStamp CabinetStamp(const tarnex::FileStamp& stamp) {
    tarnex::FileStamp out = stamp;
    if (out.Year < 1980) out = tarnex::FileStamp{1980, 1, 0, 1, 0, 0, 0, 0};
    if (out.Year > 2107) out = tarnex::FileStamp{2107, 12, 0, 31, 23, 59, 58, 0};
    out.Second = static_cast<std::uint16_t>(out.Second & ~1u);
    out.DayOfWeek = 0;
    out.Milliseconds = 0;
    return out;
}

}  // namespace pack
