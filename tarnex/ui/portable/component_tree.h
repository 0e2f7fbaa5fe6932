// The component page's tree as plain data: which items the catalogue gives,
// their check images and lock marks, and what a click on a check image does
// to the item, its children and its ancestors. The page mirrors this model
// into the tree view; nothing here needs Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "description/component_record.h"
#include "portable/package_facts.h"

namespace tarnex {

// Images of the state image list (bitmap 141), used as the check boxes.
enum CheckImage : int {
    kCheckNone = 0,    // no box
    kCheckEmpty = 1,   // empty box
    kCheckTicked = 2,  // ticked box
    kCheckGreyed = 3,  // greyed box (not chosen, excludes its branch)
    kCheckPartly = 4,  // partly ticked box
};

// Deepest tree level (0 is the top), as the packer also checks it.
inline constexpr std::int32_t kDeepestLevel = kDeepestTreeLevel;

// What each tree item carries as its data: the component and the level.
struct ItemRecord {
    std::int32_t Number = 0;
    std::int32_t Depth = 0;
};

struct TreeItem {
    ItemRecord Record;
    int Parent = -1;         // index of the parent item, -1 for a top-level item
    int Image = kCheckNone;  // check image
    bool Locked = false;     // lock overlay: the user never toggles the item
};

struct ComponentTree {
    std::vector<TreeItem> Items;        // in creation order; parents come first
    std::vector<std::int32_t> TooDeep;  // components refused at a fifth level, in order
};

// Builds the items of every component but the first (the installer) in
// catalogue order: under 0 as one top-level item, otherwise under every
// item (made for an earlier component) of each of its dependencies. A
// component that would need a fifth level keeps the items made so far and is
// listed in TooDeep once.
ComponentTree BuildComponentTree(const std::vector<ComponentRecord>& components);

// Check image a State gives at build time; States outside 0..5 show the
// image of their own number.
int CheckImageOfState(std::uint8_t state);

// Normal (and selected) image of an item of the image list of bitmap 107.
inline int NormalImage(std::int32_t depth, bool expanded) { return 2 * depth + (expanded ? 1 : 0); }

// Images 1 and 3 do not count as chosen and exclude the branch below them.
inline bool ImageCountsAsChosen(int image) { return image != kCheckEmpty && image != kCheckGreyed; }

// The user toggles an item (a click on its check image or the space bar):
// 1 becomes 2, every other box 1, and the change spreads one level down and
// up through all ancestors. Locked items and items without a box are left
// alone (returns false); after a true return any item's image may have
// changed.
bool ToggleItem(ComponentTree& tree, std::size_t index);

}  // namespace tarnex
