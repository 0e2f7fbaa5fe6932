// Page 7: what a maintenance run does, stored as the run mode when the page
// is left.
#include <vector>

#include "run/app_context.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

class ModePage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM) override {
        if (message == WM_INITDIALOG) {
            ::CheckRadioButton(window_, IDC_MODE_CHANGE, IDC_MODE_REMOVE, IDC_MODE_CHANGE);
            ShowIcons();
            return TRUE;
        }
        if (message == RegisterWizardMessages().LoseActive) {
            if (::IsDlgButtonChecked(window_, IDC_MODE_CHANGE) == BST_CHECKED) App().Mode = AS_AD;
            else if (::IsDlgButtonChecked(window_, IDC_MODE_REPAIR) == BST_CHECKED) App().Mode = AS_REP;
            else App().Mode = AS_SD;
        }
        return 0;
    }

    // The icons at their own 48 x 48: a template's icon control would show
    // the system's icon size.
    void ShowIcons() {
        const int icons[][2] = {{IDC_MODE_CHANGE_ICON, IDI_MODE_CHANGE},
                                {IDC_MODE_REPAIR_ICON, IDI_MODE_REPAIR},
                                {IDC_MODE_REMOVE_ICON, IDI_MODE_REMOVE}};
        for (const auto& [control, icon] : icons) {
            icons_.emplace_back(static_cast<HICON>(
                ::LoadImageW(App().Instance, MAKEINTRESOURCEW(icon), IMAGE_ICON, 48, 48, LR_DEFAULTCOLOR)));
            if (icons_.back())
                ::SendDlgItemMessageW(window_, control, STM_SETICON, reinterpret_cast<WPARAM>(icons_.back().get()), 0);
        }
    }

    std::vector<vrel::unique_hicon> icons_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeModePage(WizardFrame& frame) { return std::make_unique<ModePage>(frame); }

}  // namespace tarnex
