#include "description/component_catalogue.h"

#include <windows.h>

#include <string>
#include <unordered_set>

#include "description/folded_name.h"
#include "description/inf_file.h"
#include "description/portable/component_rules.h"
#include "description/portable/line_parsers.h"
#include "description/section_reader.h"
#include "portable/inf_schema.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {

namespace schema = tarnex::inf;

// Registry keys ignore letter case, so the installed records of two names
// that differ only in case would be one: EngNames are known by their folded
// spelling.
class KnownEngNames {
public:
    explicit KnownEngNames(const std::vector<ComponentRecord>& components) {
        for (const ComponentRecord& c : components)
            if (c.Number != 0) Add(c.EngName);
    }
    bool Contains(const std::wstring& engName) const { return names_.count(FoldedName(engName)) != 0; }
    void Add(std::wstring_view engName) { names_.insert(FoldedName(engName)); }

private:
    std::unordered_set<std::wstring> names_;
};

// Catalogue values longer than their field: EngName, Version and
// InstallPath name a registry key or a folder and fail the load; LocName and
// Properties are only shown and are cut.
enum class Read { Ok, Missing, TooLong };

Read ReadComponent(InfFile& inf, const std::wstring& engName, std::int32_t number, LocalNumberMap& map,
                   ComponentRecord& c) {
    if (!CopyWhole(c.EngName, engName)) return Read::TooLong;
    c.Number = number;

    std::wstring value;
    if (!inf.GetValue(schema::kNumbers, engName, value)) return Read::Missing;
    map.Add(ReadInt(value), c.Number);
    if (!inf.GetValue(schema::kLocNames, engName, value)) return Read::Missing;
    vrel::CopyToField(c.LocName, std::wstring_view(value));
    if (!inf.GetValue(schema::kProperties, engName, value)) return Read::Missing;
    vrel::CopyToField(c.Properties, std::wstring_view(value));
    if (!inf.GetValue(schema::kCompVersions, engName, value)) return Read::Missing;
    if (!CopyWhole(c.Version, value)) return Read::TooLong;
    if (!inf.GetValue(schema::kInstPaths, engName, value)) return Read::Missing;
    if (!CopyWhole(c.InstallPath, value)) return Read::TooLong;
    if (!inf.GetYesNo(schema::kComplexes, engName, c.Complex)) return Read::Missing;
    if (!inf.GetValue(schema::kDependences, engName, value)) return Read::Missing;
    c.Dependencies = ResolveDependencies(value, map);
    if (!inf.GetValue(schema::kStates, engName, value)) return Read::Missing;
    c.State = static_cast<std::uint8_t>(ReadInt(value) & 0xFF);
    return Read::Ok;
}

}  // namespace

int LoadComponentCatalogue(SetupDescription& d) { return LoadComponentCatalogue(d, App().Mode); }

int LoadComponentCatalogue(SetupDescription& d, std::uint32_t mode) {
    KnownEngNames known(d.ComponentList);
    // Each new component gets the largest Number so far + 1.
    std::int32_t nextNumber = NextComponentNumber(d.ComponentList);
    for (std::size_t e = 1; e < d.InfFiles.size(); ++e) {
        InfFile inf;
        const std::wstring infPath = d.InfFiles[e].InfPath;
        if (!inf.Open(infPath)) return 0;
        LocalNumberMap map;

        std::wstring engName;
        for (int more = inf.FindFirstLine(schema::kEngNames, engName, 1); more; more = inf.FindNextLine(engName, 1)) {
            if (known.Contains(engName)) {
                // The name keys the component's sections and its installed
                // record: a second component of that name could only repeat
                // the first one's values. The first one is kept.
                WriteLogF(L"Component \"%s\" in %s skipped: the name is used already\r\n", engName.c_str(),
                          infPath.c_str());
                continue;
            }
            ComponentRecord component;
            const Read result = ReadComponent(inf, engName, nextNumber, map, component);
            if (result != Read::Ok) {
                WriteLogF(result == Read::Missing ? L"Component \"%s\" in %s: catalogue key missing\r\n"
                                                  : L"Component \"%s\" in %s: value too long\r\n",
                          engName.c_str(), infPath.c_str());
                return 0;
            }
            ReadComponentSections(d, inf, InstallSectionName(engName, mode), component);
            ++nextNumber;
            known.Add(component.EngName);
            d.InfFiles[e].Numbers.push_back(component.Number);
            d.ComponentList.push_back(std::move(component));
        }
    }
    return 1;
}

}  // namespace tarnex
