// Page 0: the greeting with the product's name.
#include "description/setup_description.h"
#include "ui/page_common.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {

class WelcomePage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM) override {
        if (message != WM_INITDIALOG) return 0;
        FillTemplateText(window_, IDC_WELCOME_TITLE, Description().NameGen);
        titleFont_ = SetTitleFont(window_, IDC_WELCOME_TITLE);
        return TRUE;
    }

    void OnDpiChanged(UINT dpi) override { RescaleControlFont(window_, IDC_WELCOME_TITLE, titleFont_, Dpi(), dpi); }

    vrel::unique_gdiobj titleFont_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeWelcomePage(WizardFrame& frame) { return std::make_unique<WelcomePage>(frame); }

}  // namespace tarnex
