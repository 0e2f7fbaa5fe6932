// The choice the component page writes into the catalogue: the first check
// marks by run mode, Selected and the files' RefCount after every change,
// the size of the selection, and State when the page is left.
#pragma once

#include <cstdint>
#include <vector>

#include "description/setup_description.h"
#include "ui/portable/component_tree.h"

namespace tarnex {

// The component with this number, or null.
ComponentRecord* FindComponent(std::vector<ComponentRecord>& components, std::int32_t number);

// The first showing of the page: every item whose component is in State 1
// or 2 is drawn again from the State the run mode gives it (in AS_AD what is
// installed starts ticked, the rest empty), and that State is kept.
void ApplyFirstActivation(ComponentTree& tree, std::vector<ComponentRecord>& components, std::uint32_t mode);

// Recomputes Selected of every component and RefCount of every file from the
// tree, once per chosen item, and returns the size of the selection in
// bytes: every file referenced at least once, without the files of the
// other Microsoft Access version when the Access option is on.
std::int64_t EvaluateSelection(const ComponentTree& tree, SetupDescription& description);

// Next may be pressed when something is chosen and it fits on the drive;
// otherwise Back is the default button. A free space that could not be
// read (-1) never fits.
inline bool SelectionFits(std::int64_t selectedSize, std::int64_t freeSpace) {
    return selectedSize != 0 && selectedSize <= freeSpace;
}

// Leaving the page: each component's State becomes the State of its item's
// look (the last item's for a component shown several times), so that a
// stored State counts as chosen exactly when its item did.
void StoreItemStates(const ComponentTree& tree, std::vector<ComponentRecord>& components);

// The State that an item's check image and lock mark stand for (the inverse
// of the build-time look; a box the user changed keeps its meaning).
std::uint8_t StateOfItem(const TreeItem& item);

}  // namespace tarnex
