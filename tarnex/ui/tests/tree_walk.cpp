#include "ui/tests/tree_walk.h"

#include <algorithm>
#include <vector>

#include <vrel/bounded_copy.h>

#include "description/portable/component_rules.h"
#include "ui/portable/component_choice.h"
#include "ui/portable/component_tree.h"

namespace tarnex::test {
namespace {

class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
    bool Empty() const { return at_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Up to 24 components hanging under earlier ones, themselves (-1 rarely),
// the top level or nothing, in every State 0..6 (6 is not validated), with
// files of both Access versions and sizes up to 4 GiB.
SetupDescription CatalogueFromBytes(ByteSource& in) {
    SetupDescription d;
    d.Access = in.Next() & 1;
    d.AccessVersion = in.Next() % 3;
    const std::size_t fileCount = in.Next() % 8;
    const std::wstring_view prefixes[] = {L"a.dll", L"97_a.mdb", L"2000_a.mdb"};
    for (std::size_t f = 0; f < fileCount; ++f) {
        FileRecord file;
        file.Number = static_cast<std::int32_t>(f);
        vrel::CopyToField(file.SourceName, prefixes[in.Next() % 3]);
        const std::uint32_t high = in.Next();
        file.Size = high << 24 | std::uint32_t{in.Next()} << 8 | in.Next();
        d.FileList.push_back(file);
    }
    const std::size_t count = 1 + in.Next() % 24;
    for (std::size_t c = 0; c < count; ++c) {
        ComponentRecord component;
        component.Number = static_cast<std::int32_t>(c);
        if (c > 0) {
            for (int k = in.Next() % 3; k > 0; --k) {
                const std::uint8_t b = in.Next();
                component.Dependencies.push_back(b == 255 ? -1 : static_cast<std::int32_t>(b % (c + 1)));
            }
            component.State = static_cast<std::uint8_t>(in.Next() % 7);
            component.Installed = in.Next() & 1;
        }
        for (int k = in.Next() % 3; k > 0 && fileCount > 0; --k) {
            const FileRef ref = in.Next() % fileCount;
            if (std::find(component.Files.begin(), component.Files.end(), ref) == component.Files.end())
                component.Files.push_back(ref);
        }
        d.ComponentList.push_back(component);
    }
    return d;
}

std::string At(const char* what, std::size_t item) { return std::string(what) + " (item " + std::to_string(item) + ")"; }

bool Contains(const std::vector<std::int32_t>& list, std::int32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::vector<std::size_t> ChildrenOf(const ComponentTree& tree, std::size_t parent) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < tree.Items.size(); ++i)
        if (tree.Items[i].Parent == static_cast<int>(parent)) out.push_back(i);
    return out;
}

std::size_t PositionOf(const std::vector<ComponentRecord>& list, std::int32_t number) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].Number == number) return i;
    return list.size();
}

// Every component but the installer is shown once under each item of an
// earlier component that it names, once per naming, or once at the top; no
// deeper than the fourth level; a refused component is named once.
std::string CheckBuild(const ComponentTree& tree, const std::vector<ComponentRecord>& list) {
    const int looks[] = {kCheckNone, kCheckEmpty, kCheckTicked, kCheckNone, kCheckGreyed, kCheckPartly};
    for (std::size_t i = 0; i < tree.Items.size(); ++i) {
        const TreeItem& item = tree.Items[i];
        const ComponentRecord& c = list[PositionOf(list, item.Record.Number)];
        if (c.Number == 0) return At("the installer is shown", i);
        if (item.Record.Depth < 0 || item.Record.Depth > kDeepestLevel) return At("depth out of range", i);
        const int look = c.State < 6 ? looks[c.State] : c.State;
        if (item.Image != look || item.Locked != (c.State == 3 || c.State == 4)) return At("look of State", i);
        if (item.Parent < 0) {
            if (item.Record.Depth != 0 || !Contains(c.Dependencies, 0)) return At("top-level item", i);
            continue;
        }
        const TreeItem& parent = tree.Items[static_cast<std::size_t>(item.Parent)];
        if (static_cast<std::size_t>(item.Parent) >= i || parent.Record.Depth + 1 != item.Record.Depth ||
            !Contains(c.Dependencies, parent.Record.Number) || Contains(c.Dependencies, 0))
            return At("child item", i);
    }
    for (std::size_t pos = 1; pos < list.size(); ++pos) {
        const ComponentRecord& c = list[pos];
        const auto refusals = std::count(tree.TooDeep.begin(), tree.TooDeep.end(), c.Number);
        if (refusals > 1) return "a component refused twice";
        if (refusals == 1 || Contains(c.Dependencies, 0)) continue;
        for (std::size_t p = 0; p < tree.Items.size(); ++p) {
            if (PositionOf(list, tree.Items[p].Record.Number) >= pos) continue;
            const auto expected = std::count(c.Dependencies.begin(), c.Dependencies.end(), tree.Items[p].Record.Number);
            const auto children = ChildrenOf(tree, p);
            const auto made = std::count_if(children.begin(), children.end(), [&](std::size_t i) {
                return tree.Items[i].Record.Number == c.Number;
            });
            if (made != expected) return At("items under an earlier component", p);
        }
    }
    return {};
}

// After a toggle: the item flipped, its direct children followed, every
// ancestor agrees with its children, nothing else moved; an item that is
// locked or has no box changes nothing.
std::string CheckToggle(const ComponentTree& before, const ComponentTree& after, std::size_t index, bool toggled) {
    const TreeItem& was = before.Items[index];
    if (was.Locked || was.Image == kCheckNone) {
        for (std::size_t i = 0; i < after.Items.size(); ++i)
            if (after.Items[i].Image != before.Items[i].Image) return At("an untoggleable item changed the tree", i);
        return toggled ? At("an untoggleable item toggled", index) : std::string();
    }
    if (!toggled) return At("a box did not toggle", index);
    const bool checked = was.Image == kCheckEmpty;
    std::vector<bool> touched(after.Items.size(), false);
    touched[index] = true;
    if (after.Items[index].Image != (checked ? kCheckTicked : kCheckEmpty)) return At("new image", index);
    for (std::size_t child : ChildrenOf(after, index)) {
        touched[child] = true;
        const int old = before.Items[child].Image;
        const bool follows = checked ? old != kCheckNone : (old == kCheckTicked || old == kCheckGreyed || old == kCheckPartly);
        if (after.Items[child].Image != (follows ? (checked ? kCheckTicked : kCheckEmpty) : old)) return At("child", child);
    }
    for (int up = after.Items[index].Parent; up >= 0; up = after.Items[static_cast<std::size_t>(up)].Parent) {
        const std::size_t a = static_cast<std::size_t>(up);
        touched[a] = true;
        int count[5] = {};
        for (std::size_t child : ChildrenOf(after, a))
            if (after.Items[child].Image >= 0 && after.Items[child].Image < 5) ++count[after.Items[child].Image];
        const int chosen = count[kCheckNone] + count[kCheckTicked];
        const int unchosen = count[kCheckEmpty] + count[kCheckGreyed];
        int expected;
        if (checked)
            expected = chosen == static_cast<int>(ChildrenOf(after, a).size()) ? kCheckTicked : kCheckPartly;
        else if (count[kCheckPartly] > 0)
            expected = kCheckPartly;
        else if (unchosen > 0)
            expected = chosen > 0 ? kCheckPartly : kCheckEmpty;
        else
            expected = kCheckTicked;
        if (after.Items[a].Image != expected) return At("ancestor disagrees with its children", a);
    }
    for (std::size_t i = 0; i < after.Items.size(); ++i)
        if (!touched[i] && after.Items[i].Image != before.Items[i].Image) return At("an unrelated item changed", i);
    return {};
}

// The choice as the catalogue sees it: a component is selected when one of
// its items is chosen, the installer when a selected component has files; a
// file is counted when a selected component references it, once in the size.
std::string CheckEvaluation(const ComponentTree& tree, const SetupDescription& d, std::int64_t size) {
    std::vector<std::int32_t> chosen;
    for (const TreeItem& item : tree.Items) {
        bool open = ImageCountsAsChosen(item.Image);
        for (int up = item.Parent; up >= 0; up = tree.Items[static_cast<std::size_t>(up)].Parent)
            open = open && ImageCountsAsChosen(tree.Items[static_cast<std::size_t>(up)].Image);
        if (open) chosen.push_back(item.Record.Number);
    }
    bool withFiles = false;
    for (const ComponentRecord& c : d.ComponentList) {
        if (c.Number == 0) continue;
        if (c.Selected != (Contains(chosen, c.Number) ? 1 : 0)) return "Selected of component " + std::to_string(c.Number);
        withFiles = withFiles || (c.Selected && !c.Files.empty());
    }
    if (d.ComponentList[0].Selected != (withFiles ? 1 : 0)) return "Selected of the installer";
    std::int64_t expected = 0;
    for (FileRef f = 0; f < d.FileList.size(); ++f) {
        const bool used = std::any_of(d.ComponentList.begin(), d.ComponentList.end(), [&](const ComponentRecord& c) {
            return c.Selected && std::find(c.Files.begin(), c.Files.end(), f) != c.Files.end();
        });
        if ((d.FileList[f].RefCount > 0) != used) return "RefCount of file " + std::to_string(f);
        const std::wstring_view name = d.FileList[f].SourceName;
        const std::wstring_view other = d.AccessVersion == 1 ? L"2000_" : L"97_";
        if (used && !(d.Access && name.substr(0, other.size()) == other)) expected += d.FileList[f].Size;
    }
    return size == expected ? std::string() : "selected size";
}

// Leaving the page: a stored State counts as chosen exactly when the
// component's last item did, and keeps the lock of a locked look.
std::string CheckStoredStates(const ComponentTree& tree, const std::vector<ComponentRecord>& list) {
    for (const ComponentRecord& c : list) {
        const TreeItem* last = nullptr;
        for (const TreeItem& item : tree.Items)
            if (item.Record.Number == c.Number) last = &item;
        if (!last) continue;
        if (StateCountsAsChosen(c.State) != ImageCountsAsChosen(last->Image))
            return "stored State of component " + std::to_string(c.Number);
        if (last->Locked && (last->Image == kCheckNone || last->Image == kCheckGreyed) && c.State != 3 && c.State != 4)
            return "stored State lost the lock of component " + std::to_string(c.Number);
    }
    return {};
}

}  // namespace

std::string WalkCatalogueFromBytes(const std::uint8_t* data, std::size_t size) {
    ByteSource in(data, size);
    SetupDescription d = CatalogueFromBytes(in);
    const std::uint32_t mode = (in.Next() & 1) ? kModeAd : kModeInst;

    ComponentTree tree = BuildComponentTree(d.ComponentList);
    std::string broken = CheckBuild(tree, d.ComponentList);
    if (!broken.empty()) return "build: " + broken;

    const ComponentTree built = tree;
    ApplyFirstActivation(tree, d.ComponentList, mode);
    for (std::size_t i = 0; i < tree.Items.size(); ++i) {
        const ComponentRecord& c = d.ComponentList[PositionOf(d.ComponentList, tree.Items[i].Record.Number)];
        const bool redrawn = built.Items[i].Image == kCheckEmpty || built.Items[i].Image == kCheckTicked;
        const int expected = !redrawn ? built.Items[i].Image
                             : mode == kModeAd ? (c.Installed ? kCheckTicked : kCheckEmpty)
                                               : built.Items[i].Image;
        if (tree.Items[i].Image != expected || (redrawn && c.State != expected)) return At("first activation", i);
    }

    broken = CheckEvaluation(tree, d, EvaluateSelection(tree, d));
    if (!broken.empty()) return "first evaluation: " + broken;
    while (!in.Empty() && !tree.Items.empty()) {
        const std::size_t index = in.Next() % tree.Items.size();
        const ComponentTree before = tree;
        const bool toggled = ToggleItem(tree, index);
        broken = CheckToggle(before, tree, index, toggled);
        if (broken.empty()) broken = CheckEvaluation(tree, d, EvaluateSelection(tree, d));
        if (!broken.empty()) return "toggle: " + broken;
    }
    StoreItemStates(tree, d.ComponentList);
    broken = CheckStoredStates(tree, d.ComponentList);
    return broken.empty() ? broken : "leaving: " + broken;
}

}  // namespace tarnex::test
