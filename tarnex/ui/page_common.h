// What several pages share: the enlarged bold title, read-only text boxes
// painted white and never shown highlighted, and the list items of the
// summary and result texts.
#pragma once

#include <windows.h>

#include <string>

#include "vrel/unique_handle.h"

namespace tarnex {

// The control's own font in bold (weight 700), heightScale times as high,
// set on the control. The returned font must outlive the control's use of it.
vrel::unique_gdiobj SetBoldFont(HWND page, int controlId, double heightScale = 1.0);
// Titles: bold and 1.5 times as high.
inline vrel::unique_gdiobj SetTitleFont(HWND page, int controlId) { return SetBoldFont(page, controlId, 1.5); }

// The page's own font of the control, made again for the page's new DPI and
// set on the control; font is replaced.
void RescaleControlFont(HWND page, int controlId, vrel::unique_gdiobj& font, UINT oldDpi, UINT newDpi);

// Sets the control's text to its template text with "%s" filled in.
void FillTemplateText(HWND page, int controlId, const wchar_t* value);

// Handles WM_CTLCOLORSTATIC and EN_SETFOCUS for the read-only edit editId;
// true (with result) when the message was one of them.
bool HandleReadOnlyEdit(UINT message, WPARAM wParam, LPARAM lParam, int editId, INT_PTR& result);

// A read-only multi-line edit asks for every key, as an edit that is typed
// in must; this one leaves Tab, Enter and Esc to the wizard, so that they
// move on, press the default button and ask the cancel question as they do
// everywhere else. Called once, at WM_INITDIALOG.
void LeaveDialogKeysToTheWizard(HWND page, int editId);

// The checked one of the radio buttons first to last, or null.
HWND CheckedRadio(HWND page, int first, int last);

// CR LF, a tab and the item.
void AppendListItem(std::wstring& text, const std::wstring& item);

}  // namespace tarnex
