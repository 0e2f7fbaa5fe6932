#include "portable/inf_schema.h"

namespace tarnex::inf {

const wchar_t* KindKey(int kind) {
    return kind >= 1 && static_cast<std::size_t>(kind) <= kKindCount ? kKindKeys[kind - 1] : L"";
}

std::wstring InstallSectionName(std::wstring_view base, bool removal) {
    return std::wstring(base) + (removal ? L" - DefaultUnInstall" : L" - DefaultInstall");
}

std::wstring RecordSectionName(std::wstring_view base, Records records) {
    const wchar_t* suffix = L"";
    switch (records) {
        case Records::Reg: suffix = L".Reg"; break;
        case Records::Env: suffix = L".Env"; break;
        case Records::Links: suffix = L".Links"; break;
        case Records::RunBefore: suffix = L".RunBefore"; break;
        case Records::RunAfter: suffix = L".RunAfter"; break;
        case Records::RemoveBefore: suffix = L".RemoveBefore"; break;
        case Records::RemoveAfter: suffix = L".RemoveAfter"; break;
    }
    return std::wstring(base) + suffix;
}

std::wstring FileSectionName(std::wstring_view base, std::size_t n) {
    return std::wstring(base) + L".Files" + std::to_wstring(n);
}

std::vector<std::wstring> OwnSectionNames(std::wstring_view base) {
    std::vector<std::wstring> names{InstallSectionName(base, false), InstallSectionName(base, true)};
    for (Records r : kAllRecords) names.push_back(RecordSectionName(base, r));
    return names;
}

}  // namespace tarnex::inf
