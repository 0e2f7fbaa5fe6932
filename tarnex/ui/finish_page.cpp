// Page 6: the end of the wizard, with what was done to each component.
#include <optional>
#include <string>

#include "description/setup_description.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/page_common.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {


// The prefix string of a component's result line, none for no line.
std::optional<TextId> ResultOf(DWORD mode, const ComponentRecord& c) {
    switch (mode) {
    case AS_DEL:
    case AS_SD:
        return c.Installed ? TextId::kComponentRemoved : std::optional<TextId>();
    case AS_REP:
        return c.Installed ? TextId::kComponentReinstalled : std::optional<TextId>();
    default:
        if (c.Selected) return TextId::kComponentInstalled;
        return c.Installed ? TextId::kComponentRemoved : std::optional<TextId>();
    }
}

class FinishPage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        INT_PTR result = 0;
        if (HandleReadOnlyEdit(message, wParam, lParam, IDC_RESULTS_TEXT, result)) return result;
        const WizardMessages& wizard = RegisterWizardMessages();
        if (message == WM_INITDIALOG) {
            LeaveDialogKeysToTheWizard(window_, IDC_RESULTS_TEXT);
            FillTemplateText(window_, IDC_FINISH_TITLE, Description().NameGen);
            titleFont_ = SetTitleFont(window_, IDC_FINISH_TITLE);
            return TRUE;
        }
        if (message == wizard.SetActive) {
            Show();
        } else if (message == wizard.ClickCancel) {
            frame_.Completed = 1;
        }
        return 0;
    }

    void Show() {
        frame_.AskOnCancel = 0;
        frame_.Completed = 1;
        frame_.SetButtonText(PageButton::Next, LoadText(TextId::kFinishButton));
        ::SetFocus(frame_.Window());
        frame_.FocusButton(PageButton::Next);
        frame_.EnableButton(PageButton::Cancel, false);
        frame_.EnableButton(PageButton::Back, false);
        frame_.EnableButton(PageButton::Next, true);
        const SetupDescription& d = Description();
        const std::wstring success = LoadText(TextId::kComponentSucceeded);
        std::wstring text;
        for (std::size_t i = 1; i < d.ComponentList.size(); ++i) {
            const std::optional<TextId> prefix = ResultOf(App().Mode, d.ComponentList[i]);
            if (prefix) AppendText(text, LoadText(*prefix) + d.ComponentList[i].LocName + success + L"\r\n");
        }
        ::SetDlgItemTextW(window_, IDC_RESULTS_TEXT, text.c_str());
    }

    void OnDpiChanged(UINT dpi) override { RescaleControlFont(window_, IDC_FINISH_TITLE, titleFont_, Dpi(), dpi); }

    vrel::unique_gdiobj titleFont_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeFinishPage(WizardFrame& frame) { return std::make_unique<FinishPage>(frame); }

}  // namespace tarnex
