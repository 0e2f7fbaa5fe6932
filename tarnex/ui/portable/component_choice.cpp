#include "ui/portable/component_choice.h"

#include "description/portable/component_rules.h"
#include "portable/access_filter.h"

namespace tarnex {
namespace {

// Chosen: its own box counts as chosen and no box above it excludes the branch.
bool ItemIsChosen(const ComponentTree& tree, const TreeItem& item) {
    if (!ImageCountsAsChosen(item.Image)) return false;
    for (int up = item.Parent; up >= 0; up = tree.Items[static_cast<std::size_t>(up)].Parent)
        if (!ImageCountsAsChosen(tree.Items[static_cast<std::size_t>(up)].Image)) return false;
    return true;
}

void Choose(ComponentRecord& component, std::vector<FileRecord>& files) {
    component.Selected = 1;
    for (FileRef ref : component.Files) ++files[ref].RefCount;
}

}  // namespace

ComponentRecord* FindComponent(std::vector<ComponentRecord>& components, std::int32_t number) {
    for (ComponentRecord& c : components)
        if (c.Number == number) return &c;
    return nullptr;
}

void ApplyFirstActivation(ComponentTree& tree, std::vector<ComponentRecord>& components, std::uint32_t mode) {
    for (TreeItem& item : tree.Items) {
        ComponentRecord* component = FindComponent(components, item.Record.Number);
        if (!component || (component->State != 1 && component->State != 2)) continue;
        component->State = InitialPageState(mode, *component);
        item.Image = component->State;
    }
}

std::int64_t EvaluateSelection(const ComponentTree& tree, SetupDescription& description) {
    for (FileRecord& file : description.FileList) file.RefCount = 0;
    for (ComponentRecord& component : description.ComponentList) component.Selected = 0;

    bool chosenWithFiles = false;
    for (const TreeItem& item : tree.Items) {
        if (!ItemIsChosen(tree, item)) continue;
        ComponentRecord* component = FindComponent(description.ComponentList, item.Record.Number);
        if (!component) continue;
        Choose(*component, description.FileList);
        chosenWithFiles = chosenWithFiles || !component->Files.empty();
    }
    if (chosenWithFiles)
        if (ComponentRecord* installer = FindComponent(description.ComponentList, 0))
            Choose(*installer, description.FileList);

    std::int64_t size = 0;
    for (const FileRecord& file : description.FileList) {
        if (file.RefCount <= 0) continue;
        if (description.Access && AccessFilterPassesOver(file.SourceName, description.AccessVersion)) continue;
        size += file.Size;
    }
    return size;
}

std::uint8_t StateOfItem(const TreeItem& item) {
    switch (item.Image) {
        case kCheckNone: return item.Locked ? 3 : 0;
        case kCheckGreyed: return 4;
        case kCheckPartly: return 5;
        default: return static_cast<std::uint8_t>(item.Image);  // 1, 2 and unvalidated States
    }
}

void StoreItemStates(const ComponentTree& tree, std::vector<ComponentRecord>& components) {
    for (const TreeItem& item : tree.Items)
        if (ComponentRecord* component = FindComponent(components, item.Record.Number))
            component->State = StateOfItem(item);
}

}  // namespace tarnex
