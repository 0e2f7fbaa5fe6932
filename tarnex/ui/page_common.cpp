#include "ui/page_common.h"

#include "run/message_box.h"
#include "run/text_utils.h"

namespace tarnex {

vrel::unique_gdiobj SetBoldFont(HWND page, int controlId, double heightScale) {
    HWND control = ::GetDlgItem(page, controlId);
    const HFONT own = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (own == nullptr || ::GetObjectW(own, sizeof description, &description) == 0) return {};
    description.lfHeight = static_cast<LONG>(description.lfHeight * heightScale);
    description.lfWeight = FW_BOLD;
    vrel::unique_gdiobj font(::CreateFontIndirectW(&description));
    if (font) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    return font;
}

void FillTemplateText(HWND page, int controlId, const wchar_t* value) {
    wchar_t format[512] = {};
    ::GetDlgItemTextW(page, controlId, format, 512);
    ::SetDlgItemTextW(page, controlId, FormatMessageText(format, value).c_str());
}

bool HandleReadOnlyEdit(UINT message, WPARAM wParam, LPARAM lParam, int editId, INT_PTR& result) {
    if (message == WM_CTLCOLORSTATIC && ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == editId) {
        result = reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == editId && HIWORD(wParam) == EN_SETFOCUS) {
        ::SendMessageW(reinterpret_cast<HWND>(lParam), EM_SETSEL, 0, 0);
        result = TRUE;
        return true;
    }
    return false;
}

void AppendListItem(std::wstring& text, const std::wstring& item) { AppendText(text, L"\r\n\t" + item); }

}  // namespace tarnex
