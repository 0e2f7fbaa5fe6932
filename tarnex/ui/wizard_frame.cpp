#include "ui/wizard_frame.h"

#include "description/setup_description.h"
#include "resources/resource_ids.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/common_controls.h"
#include "ui/component_page_ids.h"
#include "ui/dpi.h"
#include "ui/replace_dialog.h"
#include "ui/wizard_entry.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {

// Posted to the frame: lay out what is placed in pixels once the dialog
// manager has scaled the templates for a new DPI.
constexpr UINT kLayOutForNewDpi = WM_APP + 1;

}  // namespace

const WizardMessages& RegisterWizardMessages() {
    static const WizardMessages messages{::RegisterWindowMessageW(L"WM_SET_ACTIVE_WIN_UI"),
                                         ::RegisterWindowMessageW(L"WM_LOSE_ACTIVE_WIN_UI"),
                                         ::RegisterWindowMessageW(L"WM_CLICK_CANCEL_WIN_UI")};
    return messages;
}

INT_PTR CALLBACK WizardPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<WizardPage*>(lParam)->window_ = window;
        reinterpret_cast<WizardPage*>(lParam)->dpi_ = WindowDpi(window);
    }
    auto* page = reinterpret_cast<WizardPage*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (page == nullptr) return 0;
    if (message == WM_DPICHANGED_AFTERPARENT) {
        const UINT dpi = WindowDpi(window);
        if (dpi != page->dpi_) {
            page->OnDpiChanged(dpi);
            page->dpi_ = dpi;
        }
        return 0;
    }
    return page->Handle(message, wParam, lParam);
}

WizardFrame::WizardFrame()
    : pages_{{
          {IDD_WELCOME_PAGE, &WizardPage::DialogProc, MakeWelcomePage(*this)},
          {IDD_LICENCE_PAGE, &WizardPage::DialogProc, MakeLicencePage(*this)},
          {IDD_FOLDER_PAGE, &WizardPage::DialogProc, MakeFolderPage(*this)},
          {IDD_COMPONENT_PAGE, &WizardPage::DialogProc, MakeComponentPage(*this)},
          {IDD_SUMMARY_PAGE, &WizardPage::DialogProc, MakeSummaryPage(*this)},
          {IDD_PROGRESS_PAGE, &WizardPage::DialogProc, MakeProgressPage(*this)},
          {IDD_FINISH_PAGE, &WizardPage::DialogProc, MakeFinishPage(*this)},
          {IDD_MODE_PAGE, &WizardPage::DialogProc, MakeModePage(*this)},
          {IDD_ACCESS_PAGE, &WizardPage::DialogProc, MakeAccessPage(*this)},
      }} {}

WizardFrame::~WizardFrame() = default;

int WizardFrame::Run(HWND owner) {
    RegisterWizardMessages();
    CommonControls();  // the classes its templates name
    const INT_PTR result = ::DialogBoxParamW(App().Instance, MAKEINTRESOURCEW(IDD_WIZARD_FRAME), owner,
                                             &WizardFrame::DialogProc, reinterpret_cast<LPARAM>(this));
    return result == 1 ? 1 : 2;
}

HWND WizardFrame::Button(PageButton button) const {
    switch (button) {
    case PageButton::Back:
        return back_;
    case PageButton::Next:
        return next_;
    case PageButton::Cancel:
        return cancel_;
    }
    return nullptr;
}

HWND WizardFrame::PageWindow(int index) const {
    return index >= 0 && index < kWizardPages && pages_[index].page ? pages_[index].page->Window() : nullptr;
}

void WizardFrame::EnableButton(PageButton button, bool enabled) { ::EnableWindow(Button(button), enabled); }

void WizardFrame::SetDefaultButton(PageButton button, bool isDefault) {
    HWND window = Button(button);
    ::SendMessageW(window, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    if (isDefault) ::SendMessageW(dialog_, DM_SETDEFID, static_cast<WPARAM>(::GetDlgCtrlID(window)), 0);
}

// The button keeps its place in the z-order: that order is also the order
// Tab walks, the page's controls first and the buttons after them.
void WizardFrame::FocusButton(PageButton button) { ::SetFocus(Button(button)); }

void WizardFrame::SetButtonText(PageButton button, const std::wstring& text) {
    ::SetWindowTextW(Button(button), text.c_str());
}

INT_PTR CALLBACK WizardFrame::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<WizardFrame*>(lParam)->OnInitDialog(window);
        return FALSE;  // the focus is set already
    }
    auto* frame = reinterpret_cast<WizardFrame*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (frame == nullptr) return 0;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_NEXT:
            frame->OnNext();
            return TRUE;
        case IDC_BACK:
            frame->OnBack();
            return TRUE;
        case IDCANCEL:
            frame->OnCancel();
            return TRUE;
        default:
            return 0;
        }
    case WM_PAINT:
        frame->OnPaint();
        return TRUE;
    case WM_DPICHANGED:
        // Not handled here: the dialog manager takes the suggested rectangle
        // and scales the controls and fonts of the templates first.
        frame->dpi_ = LOWORD(wParam);
        ::PostMessageW(window, kLayOutForNewDpi, 0, 0);
        return FALSE;
    case kLayOutForNewDpi:
        frame->OnDpiChanged();
        return TRUE;
    case WM_DESTROY:
        for (PageEntry& entry : frame->pages_)
            if (entry.page && entry.page->Window() != nullptr) ::DestroyWindow(entry.page->Window());
        return 0;
    default:
        return 0;
    }
}

void WizardFrame::OnInitDialog(HWND dialog) {
    AppContext& app = App();
    const SetupDescription& description = Description();
    dialog_ = dialog;
    back_ = ::GetDlgItem(dialog, IDC_BACK);
    next_ = ::GetDlgItem(dialog, IDC_NEXT);
    cancel_ = ::GetDlgItem(dialog, IDCANCEL);
    const HICON large = static_cast<HICON>(::LoadImageW(app.Instance, MAKEINTRESOURCEW(IDI_TARNEX), IMAGE_ICON,
                                                        ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
    const HICON small = static_cast<HICON>(::LoadImageW(app.Instance, MAKEINTRESOURCEW(IDI_TARNEX), IMAGE_ICON,
                                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    ::SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    ::SetWindowTextW(dialog, description.Name);

    dpi_ = WindowDpi(dialog);
    brush_.reset(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
    LayOutForDpi();
    for (int index = 0; index < kWizardPages; ++index) CreatePage(index);
    BuildSequence();

    current_ = 0;
    ::ShowWindow(PageWindow(VisiblePage()), SW_SHOW);
    ::SetFocus(dialog);
    ::SetFocus(next_);
    ::EnableWindow(back_, FALSE);
    if (app.ContinueAfterRestart || app.CompletingInterruptedRun) {
        ::EnableWindow(cancel_, FALSE);
        SendToVisible(RegisterWizardMessages().SetActive);
    }
    if (!app.Guard.UpdateOwnerWindow(dialog, app.Caption)) app.Guard.Register(dialog, app.Caption);
}

// Each page's strip is drawn once, into memory; painting only copies it.
void WizardFrame::RenderStrips() {
    const SetupDescription& description = Description();
    const std::wstring folder = App().ProgramFolder;
    const vrel::WindowDc frameDc(dialog_);
    for (int index = 0; index < kWizardPages; ++index) {
        // A picture that cannot be loaded leaves the strip plain.
        if (description.PagePictures[index][0] != L'\0')
            pictures_[index].Load(folder + description.PagePictures[index]);
        stripDcs_[index].reset(::CreateCompatibleDC(frameDc.get()));
        stripBitmaps_[index].reset(::CreateCompatibleBitmap(frameDc.get(), strip_.right, strip_.bottom));
        if (!stripDcs_[index] || !stripBitmaps_[index]) continue;
        ::SelectObject(stripDcs_[index].get(), stripBitmaps_[index].get());
        ::SelectObject(stripDcs_[index].get(), brush_.get());
        ::PatBlt(stripDcs_[index].get(), 0, 0, strip_.right, strip_.bottom, PATCOPY);
        pictures_[index].Render(stripDcs_[index].get(), strip_);
    }
}

void WizardFrame::CreatePage(int index) {
    PageEntry& entry = pages_[index];
    HWND page = ::CreateDialogParamW(App().Instance, MAKEINTRESOURCEW(entry.templateId), dialog_, entry.dialogProc,
                                     reinterpret_cast<LPARAM>(entry.page.get()));
    // First among the frame's children: Tab walks the page's controls, in
    // reading order, before the buttons below it.
    if (page != nullptr)
        ::SetWindowPos(page, HWND_TOP, 0, strip_.bottom + 1, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void WizardFrame::LayOutForDpi() {
    ::GetClientRect(dialog_, &strip_);
    strip_.bottom = ScaleToDpi(kStripHeight, dpi_);
    RenderStrips();
}

// The frame moved to a monitor of another DPI: Windows has taken the
// suggested rectangle and scaled the templates' controls and fonts; what is
// placed in pixels follows here, and the pages that draw their own images
// and fonts hear WM_DPICHANGED_AFTERPARENT.
void WizardFrame::OnDpiChanged() {
    LayOutForDpi();
    for (int index = 0; index < kWizardPages; ++index)
        if (HWND page = PageWindow(index))
            ::SetWindowPos(page, nullptr, 0, strip_.bottom + 1, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(dialog_, nullptr, TRUE);
}

void WizardFrame::BuildSequence() {
    const AppContext& app = App();
    const SetupDescription& description = Description();
    sequence_ = WizardSequence({app.Mode, app.ContinueAfterRestart || app.CompletingInterruptedRun,
                                description.License != 0, description.Access != 0});
}

bool WizardFrame::FocusFirstControl() {
    const WizardPage* page = pages_[VisiblePage()].page.get();
    HWND control = page != nullptr ? page->FirstFocus() : nullptr;
    if (control == nullptr || !::IsWindowEnabled(control)) return false;
    FocusControl(control);
    return true;
}

// Through the dialog manager, so that the default button shows as it is
// while the focus is on a control that is no button.
void WizardFrame::FocusControl(HWND control) {
    ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

int WizardFrame::SendToVisible(UINT message) {
    return static_cast<int>(::SendMessageW(PageWindow(VisiblePage()), message, 0, 0));
}

void WizardFrame::ShowPage(std::size_t target) {
    ::ShowWindow(PageWindow(VisiblePage()), SW_HIDE);
    current_ = target;
    ::ShowWindow(PageWindow(VisiblePage()), SW_SHOW);
}

void WizardFrame::OnNext() {
    if (!::IsWindowEnabled(next_)) return;
    if (current_ + 1 == sequence_.size()) {
        if (Completed) ::EndDialog(dialog_, 1);
        return;
    }
    moving_ = Moving::Next;
    ::EnableWindow(next_, FALSE);
    SendToVisible(RegisterWizardMessages().LoseActive);

    const std::size_t target = NextPosition(sequence_, current_, App().Mode);
    if (!LeaveAllowed) {
        moving_ = Moving::None;
        ::EnableWindow(next_, TRUE);
        ::SetFocus(next_);
        return;
    }
    ShowPage(target);
    ::EnableWindow(back_, TRUE);
    ::EnableWindow(next_, TRUE);
    SendToVisible(RegisterWizardMessages().SetActive);
    if (Abort) {
        ::EndDialog(dialog_, 2);
        return;
    }
    moving_ = Moving::None;
    ::InvalidateRect(dialog_, &strip_, FALSE);
    if (!FocusFirstControl() && ::IsWindowEnabled(next_)) ::SetFocus(next_);
}

void WizardFrame::OnBack() {
    if (!::IsWindowEnabled(back_) || current_ == 0) return;
    moving_ = Moving::Back;
    SendToVisible(RegisterWizardMessages().LoseActive);

    const std::size_t target = PreviousPosition(sequence_, current_, App().Mode);
    if (!LeaveAllowed) {
        moving_ = Moving::None;
        return;
    }
    ShowPage(target);
    SendToVisible(RegisterWizardMessages().SetActive);
    if (current_ == 0) {
        ::SendMessageW(back_, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        ::EnableWindow(back_, FALSE);
        SetDefaultButton(PageButton::Next, true);
        ::SetFocus(next_);
    } else if (!FocusFirstControl()) {
        ::SetFocus(back_);
    }
    moving_ = Moving::None;
    ::InvalidateRect(dialog_, &strip_, FALSE);
}

void WizardFrame::OnCancel() {
    if (!::IsWindowEnabled(cancel_)) return;
    SendToVisible(RegisterWizardMessages().ClickCancel);
    if (Abort) {
        ::EndDialog(dialog_, 2);
        return;
    }
    if (Completed) {
        ::EndDialog(dialog_, 1);
        return;
    }
    if (!AskOnCancel) return;
    if (Ask(dialog_, Question::kLeaveWizard) == IDYES)
        ::EndDialog(dialog_, 2);
}

void WizardFrame::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(dialog_, &paint);
    const int visible = VisiblePage();
    if (stripDcs_[visible])
        ::BitBlt(dc, 0, 0, strip_.right, strip_.bottom, stripDcs_[visible].get(), 0, 0, SRCCOPY);
    ::EndPaint(dialog_, &paint);
}

int RunWizard(HWND owner) {
    // While the wizard runs, the replace question is shown in its dialog.
    struct PresenterInstalled {
        ReplacePresenter previous = SetReplacePresenter(&ShowReplaceDialog);
        ~PresenterInstalled() { SetReplacePresenter(previous); }
    } presenter;
    WizardFrame frame;
    return frame.Run(owner);
}

}  // namespace tarnex
