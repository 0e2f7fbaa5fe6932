// Page 7: what a maintenance run does, stored as the run mode when the page
// is left.
#include <utility>
#include <vector>

#include "services/app_context.h"
#include "ui/dpi.h"
#include "ui/page_common.h"
#include "ui/portable/wizard_sequence.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

constexpr int kIconSize = 48;  // pixels at 96 DPI
constexpr struct {
    int radio;
    RunMode mode;
} kChoices[] = {{IDC_MODE_CHANGE, AS_AD}, {IDC_MODE_REPAIR, AS_REP}, {IDC_MODE_REMOVE, AS_SD}};

class ModePage final : public WizardPage {
public:
    using WizardPage::WizardPage;

    HWND FirstFocus() const override { return CheckedRadio(window_, IDC_MODE_CHANGE, IDC_MODE_REMOVE); }

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM) override {
        if (message == WM_INITDIALOG) {
            for (const auto& [radio, mode] : kChoices)
                if (mode == FirstMaintenanceChoice()) ::CheckRadioButton(window_, IDC_MODE_CHANGE, IDC_MODE_REMOVE, radio);
            ShowIcons(Dpi());
            return TRUE;
        }
        if (message == RegisterWizardMessages().LoseActive) {
            App().Mode = AS_SD;
            for (const auto& [radio, mode] : kChoices)
                if (::IsDlgButtonChecked(window_, radio) == BST_CHECKED) App().Mode = mode;
        }
        return 0;
    }

    void OnDpiChanged(UINT dpi) override { ShowIcons(dpi); }

    // The icons at their own 48 x 48 at 96 DPI, scaled with the screen's (the
    // icon files hold the sizes for 125 % to 200 %): a template's icon
    // control would show the system's icon size.
    void ShowIcons(UINT dpi) {
        const int size = ScaleToDpi(kIconSize, dpi);
        std::vector<vrel::unique_hicon> shown;
        const int icons[][2] = {{IDC_MODE_CHANGE_ICON, IDI_MODE_CHANGE},
                                {IDC_MODE_REPAIR_ICON, IDI_MODE_REPAIR},
                                {IDC_MODE_REMOVE_ICON, IDI_MODE_REMOVE}};
        for (const auto& [control, icon] : icons) {
            shown.emplace_back(static_cast<HICON>(
                ::LoadImageW(App().Instance, MAKEINTRESOURCEW(icon), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
            if (shown.back())
                ::SendDlgItemMessageW(window_, control, STM_SETICON, reinterpret_cast<WPARAM>(shown.back().get()), 0);
        }
        icons_ = std::move(shown);  // the icons shown before are no longer in the controls
    }

    std::vector<vrel::unique_hicon> icons_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeModePage(WizardFrame& frame) { return std::make_unique<ModePage>(frame); }

}  // namespace tarnex
