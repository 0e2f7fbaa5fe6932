// Page 7: what a maintenance run does, stored as the run mode when the page
// is left.
#include "run/app_context.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {

class ModePage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM) override {
        if (message == WM_INITDIALOG) {
            ::CheckRadioButton(window_, IDC_MODE_CHANGE, IDC_MODE_REMOVE, IDC_MODE_CHANGE);
            return TRUE;
        }
        if (message == RegisterWizardMessages().LoseActive) {
            if (::IsDlgButtonChecked(window_, IDC_MODE_CHANGE) == BST_CHECKED) App().Mode = AS_AD;
            else if (::IsDlgButtonChecked(window_, IDC_MODE_REPAIR) == BST_CHECKED) App().Mode = AS_REP;
            else App().Mode = AS_SD;
        }
        return 0;
    }
};

}  // namespace

std::unique_ptr<WizardPage> MakeModePage(WizardFrame& frame) { return std::make_unique<ModePage>(frame); }

}  // namespace tarnex
