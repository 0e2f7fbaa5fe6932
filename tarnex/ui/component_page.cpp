// Page 3: the component tree. The rules (which items the catalogue gives,
// what a toggle does, what is chosen and how large it is) live in
// ui/portable; this page builds the tree view from them, hands the user's
// clicks and space bar presses to the model and mirrors the model's check
// images back into the items.
#include <windowsx.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "description/setup_description.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/component_page_ids.h"
#include "ui/free_space.h"
#include "ui/page_common.h"
#include "ui/portable/component_choice.h"
#include "ui/portable/component_tree.h"
#include "ui/tree_image_lists.h"
#include "ui/wizard_pages.h"
#include "vrel/bounded_copy.h"

namespace tarnex {
namespace {


class ComponentPage final : public WizardPage {
public:
    using WizardPage::WizardPage;

    // The tree, unless the choice does not fit: then Back has the focus.
    HWND FirstFocus() const override { return ::IsWindowEnabled(frame_.Button(PageButton::Next)) ? tree_ : nullptr; }

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM lParam) override {
        const WizardMessages& wizard = RegisterWizardMessages();
        if (message == WM_INITDIALOG) {
            Build();
            return TRUE;
        }
        if (message == WM_NOTIFY) return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        if (message == WM_DESTROY) {
            // The tree view goes after its parent: once the records are gone,
            // no item of it is looked up any more.
            handles_.clear();
            records_.clear();
        } else if (message == wizard.SetActive) {
            Activate();
        } else if (message == wizard.LoseActive) {
            Leave();
        }
        return 0;
    }

    void Build() {
        tree_ = ::GetDlgItem(window_, IDC_COMPONENT_TREE);
        descriptionFont_ = SetBoldFont(window_, IDC_DESCRIPTION_LABEL);
        sizeFont_ = SetBoldFont(window_, IDC_SIZE_LABEL);

        // Where no image list can be made (the system gives no memory device
        // context, say), the tree is filled without pictures and check boxes
        // rather than left empty: the space bar still toggles the items
        // through the model, and the choice reaches the catalogue as it
        // would with the images.
        SetImageLists(Dpi());

        std::vector<ComponentRecord>& components = Description().ComponentList;
        model_ = BuildComponentTree(components);
        for (std::size_t i = 0; i < model_.TooDeep.size(); ++i)
            Ask(window_, Question::kTreeTooDeep);
        for (const TreeItem& item : model_.Items) Insert(item, FindComponent(components, item.Record.Number));
        if (!handles_.empty()) TreeView_Select(tree_, handles_.front(), TVGN_FIRSTVISIBLE);
    }

    // The images drawn for the screen's DPI; the lists the tree had go once
    // it has the new ones.
    void SetImageLists(UINT dpi) {
        unique_imagelist tree = LoadTreeImages(App().Instance, dpi);
        unique_imagelist checks = LoadCheckImages(App().Instance, dpi);
        if (tree) TreeView_SetImageList(tree_, tree.get(), TVSIL_NORMAL);
        if (checks) TreeView_SetImageList(tree_, checks.get(), TVSIL_STATE);
        treeImages_ = std::move(tree);
        checkImages_ = std::move(checks);
    }

    void OnDpiChanged(UINT dpi) override {
        SetImageLists(dpi);
        RescaleControlFont(window_, IDC_DESCRIPTION_LABEL, descriptionFont_, Dpi(), dpi);
        RescaleControlFont(window_, IDC_SIZE_LABEL, sizeFont_, Dpi(), dpi);
    }

    void Insert(const TreeItem& item, const ComponentRecord* component) {
        records_.push_back(std::make_unique<ItemRecord>(item.Record));
        TVINSERTSTRUCTW insert{};
        insert.hParent = item.Parent < 0 ? TVI_ROOT : handles_[static_cast<std::size_t>(item.Parent)];
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
        insert.item.pszText = const_cast<wchar_t*>(component != nullptr ? component->LocName : L"");
        insert.item.iImage = insert.item.iSelectedImage = NormalImage(item.Record.Depth, false);
        insert.item.state = INDEXTOSTATEIMAGEMASK(static_cast<UINT>(item.Image)) |
                            (item.Locked ? INDEXTOOVERLAYMASK(kLockOverlay) : 0);
        insert.item.stateMask = TVIS_STATEIMAGEMASK | TVIS_OVERLAYMASK;
        insert.item.lParam = reinterpret_cast<LPARAM>(records_.back().get());
        handles_.push_back(TreeView_InsertItem(tree_, &insert));
    }

    // The model's index of a tree item; the model's size when it is none of ours.
    std::size_t IndexOf(HTREEITEM handle) const {
        if (handle == nullptr) return handles_.size();
        std::size_t i = 0;
        while (i < handles_.size() && handles_[i] != handle) ++i;
        return i;
    }

    void Activate() {
        SetupDescription& description = Description();
        if (firstActivation_) {
            ApplyFirstActivation(model_, description.ComponentList, App().Mode);
            MirrorImages();
            firstActivation_ = false;
        }
        if (description.PreviousInstallFolder[0] != L'\0')
            vrel::CopyToField(description.InstallFolder, std::wstring_view(description.PreviousInstallFolder));
        freeSpace_ = GetFreeSpace(std::wstring(description.InstallFolder).substr(0, 3));
        ::SetDlgItemTextW(window_, IDC_FREE_SPACE, FormatSize(freeSpace_).c_str());
        Evaluate();
    }

    void Evaluate() {
        const std::int64_t size = EvaluateSelection(model_, Description());
        ::SetDlgItemTextW(window_, IDC_SELECTED_SIZE, FormatSize(size).c_str());
        if (SelectionFits(size, freeSpace_)) {
            frame_.SetDefaultButton(PageButton::Back, false);
            frame_.EnableButton(PageButton::Next, true);
            frame_.SetDefaultButton(PageButton::Next, true);
        } else {
            frame_.SetDefaultButton(PageButton::Next, false);
            frame_.EnableButton(PageButton::Next, false);
            frame_.SetDefaultButton(PageButton::Back, true);
            frame_.FocusButton(PageButton::Back);
        }
    }

    void Toggle(HTREEITEM handle) {
        if (!ToggleItem(model_, IndexOf(handle))) return;
        MirrorImages();
        Evaluate();
    }

    // A toggle may change any item's image, so every item is set again.
    void MirrorImages() {
        for (std::size_t i = 0; i < handles_.size(); ++i) {
            TVITEMW item{};
            item.mask = TVIF_STATE;
            item.hItem = handles_[i];
            item.state = INDEXTOSTATEIMAGEMASK(static_cast<UINT>(model_.Items[i].Image));
            item.stateMask = TVIS_STATEIMAGEMASK;
            TreeView_SetItem(tree_, &item);
        }
    }

    INT_PTR OnNotify(const NMHDR& header) {
        if (header.hwndFrom != tree_) return 0;
        switch (header.code) {
        case NM_CLICK: {
            // Only a click on the check image toggles; one on the text or
            // the picture just selects the item.
            const DWORD at = ::GetMessagePos();
            TVHITTESTINFO hit{};
            hit.pt = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
            ::ScreenToClient(tree_, &hit.pt);
            if (TreeView_HitTest(tree_, &hit) != nullptr && (hit.flags & TVHT_ONITEMSTATEICON) != 0) Toggle(hit.hItem);
            return 0;
        }
        case TVN_KEYDOWN:
            if (reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey != VK_SPACE) return 0;
            Toggle(TreeView_GetSelection(tree_));
            // Handled: the space is no start of an incremental search.
            ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case TVN_SELCHANGEDA:
        case TVN_SELCHANGEDW:
            ShowDescription(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem);
            return 0;
        case TVN_ITEMEXPANDEDA:
        case TVN_ITEMEXPANDEDW:
            ShowExpanded(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew);
            return 0;
        default:
            return 0;
        }
    }

    void ShowDescription(HTREEITEM handle) {
        const std::size_t index = IndexOf(handle);
        if (index >= records_.size()) return;
        if (const ComponentRecord* component = FindComponent(Description().ComponentList, records_[index]->Number))
            ::SetDlgItemTextW(window_, IDC_DESCRIPTION, component->Properties);
    }

    void ShowExpanded(const TVITEMW& changed) {
        const std::size_t index = IndexOf(changed.hItem);
        if (index >= records_.size()) return;
        TVITEMW item{};
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        item.hItem = changed.hItem;
        item.iImage = item.iSelectedImage =
            NormalImage(records_[index]->Depth, (TreeView_GetItemState(tree_, changed.hItem, TVIS_EXPANDED) & TVIS_EXPANDED) != 0);
        TreeView_SetItem(tree_, &item);
    }

    void Leave() {
        StoreItemStates(model_, Description().ComponentList);
        // Back may have been made the default button: the page left shows
        // Next as the one that answers Enter again.
        frame_.SetDefaultButton(PageButton::Back, false);
        frame_.EnableButton(PageButton::Next, true);
        frame_.SetDefaultButton(PageButton::Next, true);
        ::SetFocus(frame_.Window());
        frame_.FocusButton(PageButton::Next);
    }

    HWND tree_ = nullptr;
    vrel::unique_gdiobj descriptionFont_, sizeFont_;
    unique_imagelist treeImages_, checkImages_;
    ComponentTree model_;
    std::vector<HTREEITEM> handles_;                     // the model's items' tree items, same order
    std::vector<std::unique_ptr<ItemRecord>> records_;  // the items' data, same order
    std::int64_t freeSpace_ = -1;
    bool firstActivation_ = true;
};

}  // namespace

std::unique_ptr<WizardPage> MakeComponentPage(WizardFrame& frame) { return std::make_unique<ComponentPage>(frame); }

}  // namespace tarnex
