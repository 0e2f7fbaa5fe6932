// Page 8: which Microsoft Access the package's files are chosen for.
#include "description/setup_description.h"
#include "ui/page_common.h"
#include "ui/portable/wizard_sequence.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {

class AccessPage final : public WizardPage {
public:
    using WizardPage::WizardPage;

    HWND FirstFocus() const override { return CheckedRadio(window_, IDC_ACCESS_97, IDC_ACCESS_2000); }

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM) override {
        const WizardMessages& wizard = RegisterWizardMessages();
        SetupDescription& description = Description();
        if (message == WM_INITDIALOG) return TRUE;
        if (message == wizard.SetActive) {
            const bool access97 = FirstAccessOffer(description.AccessVersion) == 1;
            ::CheckRadioButton(window_, IDC_ACCESS_97, IDC_ACCESS_2000, access97 ? IDC_ACCESS_97 : IDC_ACCESS_2000);
        } else if (message == wizard.LoseActive) {
            description.AccessVersion = ::IsDlgButtonChecked(window_, IDC_ACCESS_97) == BST_CHECKED ? 1 : 2;
        }
        return 0;
    }
};

}  // namespace

std::unique_ptr<WizardPage> MakeAccessPage(WizardFrame& frame) { return std::make_unique<AccessPage>(frame); }

}  // namespace tarnex
