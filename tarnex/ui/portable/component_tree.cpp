#include "ui/portable/component_tree.h"

#include <algorithm>

namespace tarnex {
namespace {

bool IsTickedOrBoxless(int image) { return image == kCheckNone || image == kCheckTicked; }

template <typename Visit>
void ForEachChild(ComponentTree& tree, std::size_t parent, Visit visit) {
    // Children are always created after their parent.
    for (std::size_t i = parent + 1; i < tree.Items.size(); ++i)
        if (tree.Items[i].Parent == static_cast<int>(parent)) visit(tree.Items[i]);
}

// An ancestor after a check below it: ticked when every child is ticked or
// has no box, partly ticked otherwise.
int AncestorAfterCheck(ComponentTree& tree, std::size_t ancestor) {
    bool all = true;
    ForEachChild(tree, ancestor, [&](const TreeItem& child) { all = all && IsTickedOrBoxless(child.Image); });
    return all ? kCheckTicked : kCheckPartly;
}

// An ancestor after an uncheck below it: a partly ticked child keeps it
// partly ticked; unchosen children make it partly ticked next to chosen ones
// and empty without them; otherwise it is ticked.
int AncestorAfterUncheck(ComponentTree& tree, std::size_t ancestor) {
    bool partly = false, unchosen = false, chosen = false;
    ForEachChild(tree, ancestor, [&](const TreeItem& child) {
        partly = partly || child.Image == kCheckPartly;
        unchosen = unchosen || child.Image == kCheckEmpty || child.Image == kCheckGreyed;
        chosen = chosen || IsTickedOrBoxless(child.Image);
    });
    if (partly) return kCheckPartly;
    if (unchosen) return chosen ? kCheckPartly : kCheckEmpty;
    return kCheckTicked;
}

// Ancestors are recomputed whatever their lock: the mark guards the item
// against the user's click, not against the state of its branch.
void RecomputeAncestors(ComponentTree& tree, std::size_t index, int (*rule)(ComponentTree&, std::size_t)) {
    for (int up = tree.Items[index].Parent; up >= 0; up = tree.Items[static_cast<std::size_t>(up)].Parent)
        tree.Items[static_cast<std::size_t>(up)].Image = rule(tree, static_cast<std::size_t>(up));
}

}  // namespace

int CheckImageOfState(std::uint8_t state) {
    switch (state) {
        case 3: return kCheckNone;
        case 4: return kCheckGreyed;
        case 5: return kCheckPartly;
        default: return state;  // 0 to 2, and unvalidated values as a box of that number
    }
}

ComponentTree BuildComponentTree(const std::vector<ComponentRecord>& components) {
    ComponentTree tree;
    for (std::size_t c = 1; c < components.size(); ++c) {
        const ComponentRecord& component = components[c];
        TreeItem item;
        item.Record.Number = component.Number;
        item.Image = CheckImageOfState(component.State);
        // Every item of a locked component carries the lock; with the mark on
        // one item only, the component could be toggled through the others.
        item.Locked = component.State == 3 || component.State == 4;

        const std::vector<std::int32_t>& deps = component.Dependencies;
        if (std::find(deps.begin(), deps.end(), 0) != deps.end()) {
            tree.Items.push_back(item);
            continue;
        }
        // Only items of earlier components are parents, so a component that
        // names itself is not hung under its own items.
        const std::size_t earlier = tree.Items.size();
        bool refused = false;
        for (std::size_t d = 0; d < deps.size() && !refused; ++d) {
            for (std::size_t p = 0; p < earlier; ++p) {
                if (tree.Items[p].Record.Number != deps[d]) continue;
                const std::int32_t depth = tree.Items[p].Record.Depth + 1;
                if (depth > kDeepestLevel) {
                    tree.TooDeep.push_back(component.Number);
                    refused = true;
                    break;
                }
                item.Record.Depth = depth;
                item.Parent = static_cast<int>(p);
                tree.Items.push_back(item);
            }
        }
    }
    return tree;
}

bool ToggleItem(ComponentTree& tree, std::size_t index) {
    if (index >= tree.Items.size()) return false;
    TreeItem& item = tree.Items[index];
    // An item without a box has nothing to click; the space bar must not
    // give it one.
    if (item.Locked || item.Image == kCheckNone) return false;

    if (item.Image == kCheckEmpty) {
        item.Image = kCheckTicked;
        ForEachChild(tree, index, [](TreeItem& child) {
            if (child.Image != kCheckNone) child.Image = kCheckTicked;
        });
        RecomputeAncestors(tree, index, AncestorAfterCheck);
    } else {
        item.Image = kCheckEmpty;
        RecomputeAncestors(tree, index, AncestorAfterUncheck);
        ForEachChild(tree, index, [](TreeItem& child) {
            if (child.Image == kCheckTicked || child.Image == kCheckGreyed || child.Image == kCheckPartly)
                child.Image = kCheckEmpty;
        });
    }
    return true;
}

}  // namespace tarnex
