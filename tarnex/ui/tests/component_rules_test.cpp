// The component page's rules without the page: the tree from the catalogue,
// the check marks and how a toggle spreads, the evaluation of the choice,
// the size text (also built natively under the sanitizers).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <vrel/bounded_copy.h>

#include "description/portable/component_rules.h"
#include "ui/portable/component_choice.h"
#include "ui/portable/component_tree.h"
#include "ui/portable/size_text.h"
#include "ui/tests/tree_walk.h"

namespace tarnex {
namespace {

// A catalogue: the installer first, then components in the order added.
class Catalogue {
public:
    Catalogue() { Add(0, {}); }
    Catalogue& Add(std::int32_t number, std::vector<std::int32_t> deps, std::uint8_t state = 1, int installed = 0) {
        ComponentRecord c;
        c.Number = number;
        c.Dependencies = std::move(deps);
        c.State = state;
        c.Installed = installed;
        d.ComponentList.push_back(c);
        return *this;
    }
    // A new file of the component (a FileList entry it references).
    FileRef File(std::int32_t owner, std::wstring_view name, std::uint32_t size) {
        FileRecord file;
        vrel::CopyToField(file.SourceName, name);
        file.Size = size;
        d.FileList.push_back(file);
        Share(owner, d.FileList.size() - 1);
        return d.FileList.size() - 1;
    }
    void Share(std::int32_t owner, FileRef ref) { FindComponent(d.ComponentList, owner)->Files.push_back(ref); }
    std::vector<ComponentRecord>& List() { return d.ComponentList; }
    ComponentRecord& Of(std::int32_t number) { return *FindComponent(d.ComponentList, number); }

    SetupDescription d;
};

std::vector<int> Images(const ComponentTree& tree) {
    std::vector<int> out;
    for (const TreeItem& item : tree.Items) out.push_back(item.Image);
    return out;
}

std::vector<std::int32_t> Numbers(const ComponentTree& tree) {
    std::vector<std::int32_t> out;
    for (const TreeItem& item : tree.Items) out.push_back(item.Record.Number);
    return out;
}

using Ints = std::vector<int>;
using Nums = std::vector<std::int32_t>;

TEST(ComponentTree, RootsGiveAFlatListAndTwoParentsTwoItems) {
    Catalogue c;
    for (std::uint8_t state = 0; state < 6; ++state) c.Add(state + 1, {0}, state);
    c.Add(7, {1, 2}).Add(8, {9}).Add(9, {-1});  // 8 names a later component, 9 an unknown one
    const ComponentTree tree = BuildComponentTree(c.List());

    EXPECT_EQ((Nums{1, 2, 3, 4, 5, 6, 7, 7}), Numbers(tree));
    EXPECT_EQ((Ints{0, 1, 2, 0, 3, 4, 1, 1}), Images(tree));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(-1, tree.Items[i].Parent);
        EXPECT_EQ(0, tree.Items[i].Record.Depth);
        EXPECT_EQ(i == 3 || i == 4, tree.Items[i].Locked) << i;
    }
    EXPECT_EQ(0, tree.Items[6].Parent);
    EXPECT_EQ(1, tree.Items[7].Parent);
    EXPECT_EQ(1, tree.Items[7].Record.Depth);
    EXPECT_TRUE(tree.TooDeep.empty());
}

TEST(ComponentTree, AFifthLevelIsRefusedOncePerComponentAndTheRestShown) {
    Catalogue c;
    c.Add(1, {0}).Add(2, {1}).Add(3, {2}).Add(4, {3});
    c.Add(5, {1, 4});     // made under 1, refused under 4
    c.Add(6, {4, 4});     // refused once
    c.Add(7, {0});        // still shown
    c.Add(8, {1, 8});     // names itself: shown under 1 only
    c.Add(9, {8}, 4);     // locked, under the one item of 8
    const ComponentTree tree = BuildComponentTree(c.List());

    EXPECT_EQ((Nums{5, 6}), tree.TooDeep);
    EXPECT_EQ((Nums{1, 2, 3, 4, 5, 7, 8, 9}), Numbers(tree));
    EXPECT_EQ(3, tree.Items[3].Record.Depth);
    EXPECT_EQ(0, tree.Items[4].Parent);
    EXPECT_EQ(1, tree.Items[4].Record.Depth);
    EXPECT_EQ(6, tree.Items[7].Parent);
    EXPECT_TRUE(tree.Items[7].Locked);
}

// G(1) ─┬─ P(2) ─┬─ C1(4) ── D(7)
//       │        ├─ C2(5, no box)
//       │        └─ C3(6, greyed, locked)
//       └─ S(3)
class Spreading : public ::testing::Test {
protected:
    void SetUp() override {
        c.Add(1, {0}).Add(2, {1}).Add(3, {1}).Add(4, {2}).Add(5, {2}, 0).Add(6, {2}, 4).Add(7, {4});
        tree = BuildComponentTree(c.List());
        ASSERT_EQ((Ints{1, 1, 1, 1, 0, 3, 1}), Images(tree));
    }
    enum { G, P, S, C1, C2, C3, D };
    Catalogue c;
    ComponentTree tree;
};

TEST_F(Spreading, CheckingTicksBoxedChildrenOnlyAndMarksAncestorsPartly) {
    ASSERT_TRUE(ToggleItem(tree, P));
    // The greyed child is ticked as well; the grandchild keeps its box.
    EXPECT_EQ((Ints{4, 2, 1, 2, 0, 2, 1}), Images(tree));
    ASSERT_TRUE(ToggleItem(tree, S));
    EXPECT_EQ(kCheckTicked, tree.Items[G].Image);
}

TEST_F(Spreading, UncheckingEmptiesChildrenAndRecomputesAncestors) {
    ToggleItem(tree, P);
    ToggleItem(tree, S);
    ASSERT_TRUE(ToggleItem(tree, P));
    EXPECT_EQ((Ints{4, 1, 2, 1, 0, 1, 1}), Images(tree));
    ASSERT_TRUE(ToggleItem(tree, S));
    EXPECT_EQ(kCheckEmpty, tree.Items[G].Image);

    // A partly ticked child keeps every ancestor partly ticked.
    ToggleItem(tree, C1);
    const Ints images = Images(tree);
    EXPECT_EQ((Ints{4, 4, 1}), Ints(images.begin(), images.begin() + 3));
    ToggleItem(tree, S);
    ToggleItem(tree, S);
    EXPECT_EQ(kCheckPartly, tree.Items[G].Image);
}

TEST_F(Spreading, LockedItemsAndItemsWithoutABoxNeverToggle) {
    const Ints before = Images(tree);
    EXPECT_FALSE(ToggleItem(tree, C3));
    EXPECT_FALSE(ToggleItem(tree, C2));
    EXPECT_FALSE(ToggleItem(tree, 99));
    EXPECT_EQ(before, Images(tree));
}

TEST(ComponentChoice, AddRemoveStartsWithWhatIsInstalled) {
    Catalogue c;
    c.Add(1, {0}, 1, 1).Add(2, {0}, 2, 0).Add(3, {0}, 2, 1).Add(4, {0}, 1, 0).Add(5, {0}, 5, 1).Add(6, {1, 3}, 1, 1);
    Catalogue install = c;

    ComponentTree tree = BuildComponentTree(c.List());
    ApplyFirstActivation(tree, c.List(), kModeAd);
    EXPECT_EQ((Ints{2, 1, 2, 1, 4, 2, 2}), Images(tree));
    for (std::int32_t n : {1, 3, 6}) EXPECT_EQ(2, c.Of(n).State) << n;
    for (std::int32_t n : {2, 4}) EXPECT_EQ(1, c.Of(n).State) << n;

    ComponentTree asRead = BuildComponentTree(install.List());
    ApplyFirstActivation(asRead, install.List(), kModeInst);
    EXPECT_EQ((Ints{1, 2, 2, 1, 4, 1, 1}), Images(asRead));
    EXPECT_EQ(1, install.Of(1).State);
}

TEST(ComponentChoice, ChosenItemsSelectTheirComponentsAndCountTheirFiles) {
    Catalogue c;
    c.Add(1, {0}, 2).Add(2, {0}, 2).Add(3, {1, 2}, 2).Add(4, {2}, 1).Add(5, {4}, 2);
    const FileRef setup = c.File(0, L"setup.exe", 100);
    const FileRef a = c.File(1, L"a.dll", 1000);
    c.File(2, L"b.dll", 10);
    const FileRef shared = c.File(2, L"shared.dll", 5);
    c.Share(3, shared);
    const FileRef own = c.File(3, L"c.dll", 1);
    const FileRef excluded = c.File(5, L"e.dll", 3);  // under the empty box of 4
    ComponentTree tree = BuildComponentTree(c.List());

    EXPECT_EQ(1116, EvaluateSelection(tree, c.d));
    for (std::int32_t n : {0, 1, 2, 3}) EXPECT_EQ(1, c.Of(n).Selected) << n;
    for (std::int32_t n : {4, 5}) EXPECT_EQ(0, c.Of(n).Selected) << n;
    // Once per chosen item: component 3 hangs under 1 and 2.
    EXPECT_EQ(3, c.d.FileList[shared].RefCount);
    EXPECT_EQ(2, c.d.FileList[own].RefCount);
    EXPECT_EQ(1, c.d.FileList[setup].RefCount);
    EXPECT_EQ(0, c.d.FileList[excluded].RefCount);

    // Emptying 1 and 2 (their children follow) leaves nothing chosen.
    ToggleItem(tree, 0);
    ToggleItem(tree, 1);
    EXPECT_EQ(0, EvaluateSelection(tree, c.d));
    EXPECT_EQ(0, c.Of(0).Selected);
    EXPECT_EQ(0, c.d.FileList[a].RefCount);
}

TEST(ComponentChoice, TheOtherAccessVersionIsLeftOutOfTheSize) {
    Catalogue c;
    c.Add(1, {0}, 2);
    c.File(1, L"2000_Form.mdb", 100);
    c.File(1, L"97_Form.mdb", 10);
    c.File(1, L"base.dll", 1);
    const ComponentTree tree = BuildComponentTree(c.List());
    c.d.Access = 1;
    c.d.AccessVersion = 1;
    EXPECT_EQ(11, EvaluateSelection(tree, c.d));
    c.d.AccessVersion = 2;
    EXPECT_EQ(101, EvaluateSelection(tree, c.d));
    c.d.Access = 0;
    EXPECT_EQ(111, EvaluateSelection(tree, c.d));
}

TEST(ComponentChoice, SizesBeyond4GiBAndWhetherNextMayBePressed) {
    Catalogue c;
    c.Add(1, {0}, 2);
    for (int i = 0; i < 3; ++i) c.File(1, L"big.bin", 0xFFFFFFFFu);
    const std::int64_t size = EvaluateSelection(BuildComponentTree(c.List()), c.d);
    EXPECT_EQ(3 * std::int64_t{0xFFFFFFFF}, size);

    EXPECT_TRUE(SelectionFits(size, size));
    EXPECT_FALSE(SelectionFits(size, size - 1));
    EXPECT_FALSE(SelectionFits(size, -1));  // free space unreadable
    EXPECT_FALSE(SelectionFits(0, size));   // nothing chosen
}

TEST(SizeText, UnitsAndDecimals) {
    const SizeUnits units{L" байт", L" Гбайт", L" Мбайт", L" Кбайт"};
    EXPECT_EQ(L"1.000 Кбайт", FormatSize(1024, units));
    EXPECT_EQ(L"1023 байт", FormatSize(1023, units));
    EXPECT_EQ(L"0 байт", FormatSize(0, units));
    EXPECT_EQ(L"1.500 Мбайт", FormatSize(1536 * 1024, units));
    EXPECT_EQ(L"1023.999 Кбайт", FormatSize(1048575, units));
    EXPECT_EQ(L"5.500 Гбайт", FormatSize(std::int64_t{11} << 29, units));
    EXPECT_EQ(L"2048.000 Гбайт", FormatSize(std::int64_t{1} << 41, units));
    EXPECT_EQ(L"-1 байт", FormatSize(-1, units));
}

TEST(ComponentTreeWalk, RandomCataloguesKeepEveryRule) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 400);
    for (int run = 0; run < 1000; ++run) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length(random)));
        for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(byte(random));
        ASSERT_EQ("", test::WalkCatalogueFromBytes(bytes.data(), bytes.size())) << "run " << run;
    }
}

}  // namespace
}  // namespace tarnex
