// Rules of the component model that need no Windows call: numbering,
// dependency resolution, install-section names, the tree states and which
// steps act on a component in each run mode.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "description/component_record.h"

namespace tarnex {

// Run mode values (the same numbers as the program context's AS_* modes).
inline constexpr std::uint32_t kModeInst = 0;  // AS_INST
inline constexpr std::uint32_t kModeDel = 1;   // AS_DEL
inline constexpr std::uint32_t kModeSup = 2;   // AS_SUP
inline constexpr std::uint32_t kModeRep = 3;   // AS_REP
inline constexpr std::uint32_t kModeAd = 4;    // AS_AD
inline constexpr std::uint32_t kModeSd = 5;    // AS_SD

// Largest Number in the list + 1 (0 for an empty list).
std::int32_t NextComponentNumber(const std::vector<ComponentRecord>& components);

// Local numbers of one INF file (NUMBERS) to package Numbers. Duplicates are
// kept; the first pair with a local number wins on lookup.
class LocalNumberMap {
public:
    void Add(std::int32_t local, std::int32_t number) { numbers_.emplace(local, number); }  // keeps the first
    // kNoDependency when the local number is unknown.
    std::int32_t Find(std::int32_t local) const;

private:
    std::unordered_map<std::int32_t, std::int32_t> numbers_;
};

// DEPENDENCES value "n1,n2,..." to Numbers: 0 stays 0 (top level), a known
// local number gives its Number, an unknown one -1. An empty field ends the
// list; an empty value gives nothing.
std::vector<std::int32_t> ResolveDependencies(const std::wstring& value, const LocalNumberMap& map);

// base + " - DefaultInstall" in AS_INST (and the other installing modes),
// base + " - DefaultUnInstall" in AS_DEL and AS_SD.
std::wstring InstallSectionName(const std::wstring& base, std::uint32_t mode);

// The component page's rule: states 0, 2, 3 and 5 count as chosen; 1 and 4
// do not (and exclude the branch below them). States outside 0..5 are not
// validated and count as chosen.
bool StateCountsAsChosen(std::uint8_t state);

// State a component's box shows when the component page is first shown:
// in AS_AD an installed component in State 1 shows ticked (2), one not
// installed in State 2 shows empty (1); everything else keeps its State.
std::uint8_t InitialPageState(std::uint32_t mode, const ComponentRecord& component);

// Whether the removal steps (4 to 8) act on the component in a mode.
bool RemovalStepsActOn(std::uint32_t mode, const ComponentRecord& component);

// Whether the install steps (3, 9 to 13) act on the component in a mode.
bool InstallStepsActOn(std::uint32_t mode, const ComponentRecord& component);

// The summary page's choice: in AS_REP every installed component is
// selected; in AS_DEL and AS_SD Selected = Installed for every component.
// Other modes leave the selection alone.
void SelectInstalledForSummary(std::uint32_t mode, std::vector<ComponentRecord>& components);

}  // namespace tarnex
