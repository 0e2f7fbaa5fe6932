#include "description/portable/component_rules.h"

#include "portable/inf_schema.h"
#include "portable/text_pieces.h"

namespace tarnex {

std::int32_t NextComponentNumber(const std::vector<ComponentRecord>& components) {
    std::int32_t largest = -1;
    for (const ComponentRecord& c : components)
        if (c.Number > largest) largest = c.Number;
    return largest + 1;
}

std::int32_t LocalNumberMap::Find(std::int32_t local) const {
    const auto found = numbers_.find(local);
    return found == numbers_.end() ? kNoDependency : found->second;
}

std::vector<std::int32_t> ResolveDependencies(const std::wstring& value, const LocalNumberMap& map) {
    std::vector<std::int32_t> out;
    std::wstring rest = value;
    std::wstring token;
    while (!rest.empty()) {
        const int more = SplitToken(rest, L",", token);
        // An empty field ends the list ("1,,3" keeps only 1).
        if (token.empty()) break;
        const std::int32_t n = ReadInt(token);
        out.push_back(n == 0 ? 0 : map.Find(n));
        if (!more) break;
    }
    return out;
}

std::wstring InstallSectionName(const std::wstring& base, std::uint32_t mode) {
    return inf::InstallSectionName(base, mode == kModeDel || mode == kModeSd);
}

bool StateCountsAsChosen(std::uint8_t state) { return state != 1 && state != 4; }

std::uint8_t InitialPageState(std::uint32_t mode, const ComponentRecord& component) {
    if (mode == kModeAd) {
        if (component.State == 1 && component.Installed) return 2;
        if (component.State == 2 && !component.Installed) return 1;
    }
    return component.State;
}

bool RemovalStepsActOn(std::uint32_t mode, const ComponentRecord& component) {
    switch (mode) {
        case kModeInst:
        case kModeRep:
        case kModeAd:
        case kModeDel:
        case kModeSd:
            return component.Installed != 0;
        default:
            return false;  // AS_SUP: the choice is still pending
    }
}

bool InstallStepsActOn(std::uint32_t mode, const ComponentRecord& component) {
    switch (mode) {
        case kModeInst:
        case kModeRep:
        case kModeAd:
            return component.Selected != 0;
        default:
            return false;  // removal modes skip the install steps
    }
}

void SelectInstalledForSummary(std::uint32_t mode, std::vector<ComponentRecord>& components) {
    if (mode == kModeRep) {
        // Repair: every installed component again; the others keep their mark.
        for (ComponentRecord& c : components)
            if (c.Installed) c.Selected = 1;
    } else if (mode == kModeDel || mode == kModeSd) {
        for (ComponentRecord& c : components) c.Selected = c.Installed ? 1 : 0;
    }
}

}  // namespace tarnex
