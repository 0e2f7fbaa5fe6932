// The wizard frame: one modal dialog (template 102) with the navigation
// buttons and a picture strip across its top, hosting nine pages created
// once as modeless child dialogs, one of them visible at a time. Which pages
// are walked, and in which order, follows from the run mode and the
// description's options; the frame and the pages talk through three
// registered messages and four shared flags.
//
// How a page reaches the frame: every page is built with a reference to it
// (WizardPage::frame_). A page may
//   - read Moving() while it handles LoseActive (Next or Back);
//   - clear LeaveAllowed in LoseActive to keep the user on the page, and set
//     it again itself; clear AskOnCancel, set Abort or Completed;
//   - enable, disable, relabel and focus the three buttons and choose the
//     default one (EnableButton, SetButtonText, FocusButton,
//     SetDefaultButton); the frame does not restore them except where its
//     own moves say so.
// Pages run on the frame's thread only.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/progress_view.h"
#include "ui/picture_holder.h"
#include "ui/portable/wizard_sequence.h"
#include "vrel/unique_handle.h"

namespace tarnex {

// Pixels at 96 DPI, scaled with the screen's: 90 at 144 DPI, 120 at 192. The
// pages start one pixel below the strip.
inline constexpr int kStripHeight = 60;

// "WM_SET_ACTIVE_WIN_UI", "WM_LOSE_ACTIVE_WIN_UI", "WM_CLICK_CANCEL_WIN_UI";
// registered on the first call.
struct WizardMessages {
    UINT SetActive;
    UINT LoseActive;
    UINT ClickCancel;
};
const WizardMessages& RegisterWizardMessages();

enum class Moving : int { None = 0, Next = 1, Back = 2 };

class WizardFrame;

// One page: a modeless child dialog of the frame, one object for the run.
class WizardPage {
public:
    explicit WizardPage(WizardFrame& frame) : frame_(frame) {}
    virtual ~WizardPage() = default;
    WizardPage(const WizardPage&) = delete;
    WizardPage& operator=(const WizardPage&) = delete;

    HWND Window() const { return window_; }

    // Where the keyboard focus goes when the page has been shown: its first
    // useful control (the chosen option of a choice, the field to type in),
    // or null for the frame's button (Next going on, Back going back).
    virtual HWND FirstFocus() const { return nullptr; }

    // The dialog procedure of every page: WM_INITDIALOG carries the page
    // object, later messages go to its Handle.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Returns what a dialog procedure returns (0: not handled).
    virtual INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // The page moved to a monitor of another DPI with the frame: Windows has
    // scaled the template's controls and font; what the page sized in
    // pixels or set in fonts of its own follows here. Dpi() is still the old.
    virtual void OnDpiChanged(UINT /*newDpi*/) {}
    // The DPI the page is laid out for.
    UINT Dpi() const { return dpi_; }

    WizardFrame& frame_;
    HWND window_ = nullptr;

private:
    UINT dpi_ = 96;
};

// A row of the page table: the template, the dialog procedure and the page.
struct PageEntry {
    UINT templateId;
    DLGPROC dialogProc;
    std::unique_ptr<WizardPage> page;
};

class WizardFrame {
public:
    WizardFrame();
    ~WizardFrame();
    WizardFrame(const WizardFrame&) = delete;
    WizardFrame& operator=(const WizardFrame&) = delete;

    // Shows the frame modally over owner (the background window or none):
    // 1 when the wizard was completed, 2 when it was cancelled or aborted.
    int Run(HWND owner);

    // The flags shared with the pages.
    int LeaveAllowed = 1;  // cleared by a page in LoseActive to stay
    int AskOnCancel = 1;   // Cancel asks the text kLeaveWizardQuestion before ending
    int Abort = 0;         // the run ends as cancelled
    int Completed = 0;     // Cancel or Next on the last page ends it as completed

    // Next or Back while a page is being left, None otherwise.
    Moving Direction() const { return moving_; }
    HWND Window() const { return dialog_; }
    HWND Button(PageButton button) const;
    HWND PageWindow(int index) const;
    int VisiblePage() const { return sequence_[current_]; }

    void EnableButton(PageButton button, bool enabled);
    // Default push button style, redrawn; the default one also answers Enter.
    void SetDefaultButton(PageButton button, bool isDefault);
    void FocusButton(PageButton button);
    void SetButtonText(PageButton button, const std::wstring& text);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND dialog);
    void RenderStrips();
    void CreatePage(int index);
    void BuildSequence();
    void OnNext();
    void OnBack();
    void OnCancel();
    void OnPaint();
    void ShowPage(std::size_t target);
    int SendToVisible(UINT message);
    // The focus on the visible page's first useful control; false when it
    // names none.
    bool FocusFirstControl();
    void FocusControl(HWND control);
    // Strip and page positions for the frame's DPI.
    void LayOutForDpi();
    void OnDpiChanged();

    std::array<PageEntry, kWizardPages> pages_;
    HWND dialog_ = nullptr;
    HWND back_ = nullptr, next_ = nullptr, cancel_ = nullptr;
    std::array<PictureHolder, kWizardPages> pictures_;
    std::array<vrel::unique_gdiobj, kWizardPages> stripBitmaps_;
    vrel::unique_gdiobj brush_;
    std::array<vrel::unique_hdc, kWizardPages> stripDcs_;  // deleted before the bitmaps and brush in them
    RECT strip_{};
    UINT dpi_ = 96;
    Moving moving_ = Moving::None;
    std::vector<int> sequence_;
    std::size_t current_ = 0;  // in sequence_
};

}  // namespace tarnex
