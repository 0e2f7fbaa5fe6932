// Page 5: the install engine's page. The fifteen steps run on the engine's
// worker; the page is its ProgressView. The worker never waits for this
// thread: what it shows reaches the page as posted messages (texts through
// slots the page reads when the message arrives), and the bars get their
// messages posted directly. The same calls made on this thread act at once.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <mutex>
#include <string>

#include "description/setup_description.h"
#include "engine/install_engine.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {

// Posted to the page: wParam = what (below) * 16 + the button, lParam = flag.
constexpr UINT kViewMessage = WM_APP + 1;
enum ViewCall : WPARAM { kOverallText, kCurrentText, kEnable, kDefault, kFocus, kButtonText, kFinal };

class ProgressPage final : public WizardPage, public ProgressView {
public:
    explicit ProgressPage(WizardFrame& frame) : WizardPage(frame), engine_(Description(), *this) {}

    // ProgressView: called by the worker, and by the engine on this thread.
    HWND Owner() override { return window_; }
    HWND FileProgressTarget() override { return currentBar_; }
    void SetOverallText(const std::wstring& text) override { SetText(overallText_, kOverallText, text); }
    void SetCurrentText(const std::wstring& text) override { SetText(currentText_, kCurrentText, text); }
    void SetCurrentRange(int count) override { SetRange(currentBar_, count); }
    void AdvanceCurrent() override { Deliver(currentBar_, PBM_STEPIT, 0, 0); }
    void SetOverallRange(int count) override { SetRange(overallBar_, count); }
    void AdvanceOverall() override { Deliver(overallBar_, PBM_STEPIT, 0, 0); }
    void EnableButton(PageButton button, bool enabled) override { Call(kEnable, button, enabled); }
    void SetDefaultButton(PageButton button, bool isDefault) override { Call(kDefault, button, isDefault); }
    void FocusButton(PageButton button) override { Call(kFocus, button, true); }
    void SetButtonText(PageButton button, const std::wstring& text) override {
        {
            std::lock_guard<std::mutex> hold(lock_);
            buttonTexts_[static_cast<std::size_t>(button)] = text;
        }
        Call(kButtonText, button, true);
    }
    void ShowFinalText(const std::wstring& text) override { SetText(finalText_, kFinal, text); }

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        const WizardMessages& wizard = RegisterWizardMessages();
        if (message == WM_INITDIALOG) {
            uiThread_ = ::GetCurrentThreadId();
            currentBar_ = ::GetDlgItem(window_, IDC_CURRENT_BAR);
            overallBar_ = ::GetDlgItem(window_, IDC_OVERALL_BAR);
            return TRUE;
        }
        if (message == kViewMessage) {
            Apply(static_cast<ViewCall>(wParam >> 4), static_cast<PageButton>(wParam & 0xF), lParam != 0);
            return TRUE;
        }
        if (message == wizard.SetActive) {
            frame_.AskOnCancel = 0;
            engine_.OnPageShown();
        } else if (message == wizard.LoseActive) {
            frame_.AskOnCancel = 1;
            engine_.OnPageLeft();
        } else if (message == wizard.ClickCancel) {
            if (engine_.OnCancelRequest()) frame_.Abort = 1;
        }
        return 0;
    }

    bool OnUiThread() const { return ::GetCurrentThreadId() == uiThread_; }

    void Deliver(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
        if (OnUiThread()) ::SendMessageW(target, message, wParam, lParam);
        else ::PostMessageW(target, message, wParam, lParam);
    }

    void Call(ViewCall call, PageButton button, bool flag) {
        Deliver(window_, kViewMessage, (static_cast<WPARAM>(call) << 4) | static_cast<WPARAM>(button), flag ? 1 : 0);
    }

    void SetText(std::wstring& slot, ViewCall call, const std::wstring& text) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            slot = text;
        }
        Call(call, PageButton::Next, true);
    }

    void SetRange(HWND bar, int count) {
        Deliver(bar, PBM_SETRANGE32, 0, count);
        Deliver(bar, PBM_SETSTEP, 1, 0);
        Deliver(bar, PBM_SETPOS, 0, 0);
    }

    std::wstring Slot(const std::wstring& slot) {
        std::lock_guard<std::mutex> hold(lock_);
        return slot;
    }

    // On this thread: what the worker asked for.
    void Apply(ViewCall call, PageButton button, bool flag) {
        switch (call) {
        case kOverallText:
            ::SetDlgItemTextW(window_, IDC_OVERALL_TEXT, Slot(overallText_).c_str());
            break;
        case kCurrentText:
            ::SetDlgItemTextW(window_, IDC_CURRENT_TEXT, Slot(currentText_).c_str());
            break;
        case kEnable:
            frame_.EnableButton(button, flag);
            break;
        case kDefault:
            frame_.SetDefaultButton(button, flag);
            break;
        case kFocus:
            frame_.FocusButton(button);
            break;
        case kButtonText:
            frame_.SetButtonText(button, Slot(buttonTexts_[static_cast<std::size_t>(button)]));
            break;
        case kFinal:
            ::SetDlgItemTextW(window_, IDC_CURRENT_TEXT, Slot(finalText_).c_str());
            for (const int id : {IDC_CURRENT_BAR, IDC_OVERALL_BAR, IDC_OVERALL_TEXT, IDC_PROGRESS_HEADING,
                                 IDC_CURRENT_LABEL, IDC_OVERALL_LABEL})
                ::ShowWindow(::GetDlgItem(window_, id), SW_HIDE);
            break;
        }
    }

    DWORD uiThread_ = 0;
    HWND currentBar_ = nullptr;
    HWND overallBar_ = nullptr;
    std::mutex lock_;
    std::wstring overallText_, currentText_, finalText_;
    std::array<std::wstring, 3> buttonTexts_;
    InstallEngine engine_;  // last: waits for the worker before the slots go
};

}  // namespace

std::unique_ptr<WizardPage> MakeProgressPage(WizardFrame& frame) { return std::make_unique<ProgressPage>(frame); }

}  // namespace tarnex
