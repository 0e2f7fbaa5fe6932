#include "description/component_catalogue.h"

#include <windows.h>

#include <string>

#include "description/inf_file.h"
#include "description/portable/component_rules.h"
#include "description/portable/line_parsers.h"
#include "description/section_reader.h"
#include "run/app_context.h"
#include "run/setup_log.h"
#include "run/text_utils.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {

bool SameEngName(const wchar_t* a, const std::wstring& b) {
    // Registry keys ignore letter case, so the installed records of two
    // names that differ only in case would be one.
    return ::CompareStringOrdinal(a, -1, b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool IsKnownEngName(const SetupDescription& d, const std::wstring& engName) {
    for (const ComponentRecord& c : d.ComponentList)
        if (c.Number != 0 && SameEngName(c.EngName, engName)) return true;
    return false;
}

// Catalogue values longer than their field: EngName, Version and
// InstallPath name a registry key or a folder and fail the load; LocName and
// Properties are only shown and are cut.
enum class Read { Ok, Missing, TooLong };

Read ReadComponent(SetupDescription& d, InfFile& inf, const std::wstring& engName, LocalNumberMap& map,
                   ComponentRecord& c) {
    if (!CopyWhole(c.EngName, engName)) return Read::TooLong;
    c.Number = NextComponentNumber(d.ComponentList);

    std::wstring value;
    if (!inf.GetValue(L"NUMBERS", engName, value)) return Read::Missing;
    map.Add(ReadInt(value), c.Number);
    if (!inf.GetValue(L"LocNames", engName, value)) return Read::Missing;
    vrel::CopyToField(c.LocName, std::wstring_view(value));
    if (!inf.GetValue(L"PROPERTIES", engName, value)) return Read::Missing;
    vrel::CopyToField(c.Properties, std::wstring_view(value));
    if (!inf.GetValue(L"CompVersions", engName, value)) return Read::Missing;
    if (!CopyWhole(c.Version, value)) return Read::TooLong;
    if (!inf.GetValue(L"InstPaths", engName, value)) return Read::Missing;
    if (!CopyWhole(c.InstallPath, value)) return Read::TooLong;
    if (!inf.GetYesNo(L"COMPLEXES", engName, c.Complex)) return Read::Missing;
    if (!inf.GetValue(L"DEPENDENCES", engName, value)) return Read::Missing;
    c.Dependencies = ResolveDependencies(value, map);
    if (!inf.GetValue(L"STATES", engName, value)) return Read::Missing;
    c.State = static_cast<std::uint8_t>(ReadInt(value) & 0xFF);
    return Read::Ok;
}

}  // namespace

int LoadComponentCatalogue(SetupDescription& d) {
    for (std::size_t e = 1; e < d.InfFiles.size(); ++e) {
        InfFile inf;
        const std::wstring infPath = d.InfFiles[e].InfPath;
        if (!inf.Open(infPath)) return 0;
        LocalNumberMap map;

        std::wstring engName;
        for (int more = inf.FindFirstLine(L"EngNames", engName, 1); more; more = inf.FindNextLine(engName, 1)) {
            if (IsKnownEngName(d, engName)) {
                // The name keys the component's sections and its installed
                // record: a second component of that name could only repeat
                // the first one's values. The first one is kept.
                WriteLogF(L"Component \"%s\" in %s skipped: the name is used already\r\n", engName.c_str(),
                          infPath.c_str());
                continue;
            }
            ComponentRecord component;
            const Read result = ReadComponent(d, inf, engName, map, component);
            if (result != Read::Ok) {
                WriteLogF(result == Read::Missing ? L"Component \"%s\" in %s: catalogue key missing\r\n"
                                                  : L"Component \"%s\" in %s: value too long\r\n",
                          engName.c_str(), infPath.c_str());
                return 0;
            }
            ReadComponentSections(d, inf, InstallSectionName(engName, App().Mode), component);
            d.InfFiles[e].Numbers.push_back(component.Number);
            d.ComponentList.push_back(std::move(component));
        }
    }
    return 1;
}

}  // namespace tarnex
