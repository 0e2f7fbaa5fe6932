#include "ui/page_common.h"

#include <utility>

#include "portable/text_pieces.h"
#include "services/message_box.h"
#include "ui/dpi.h"

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

void RescaleControlFont(HWND page, int controlId, vrel::unique_gdiobj& font, UINT oldDpi, UINT newDpi) {
    if (!font) return;
    vrel::unique_gdiobj scaled(RescaleFont(static_cast<HFONT>(font.get()), oldDpi, newDpi));
    if (!scaled) return;
    ::SendDlgItemMessageW(page, controlId, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.get()), TRUE);
    font = std::move(scaled);
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

namespace {

constexpr wchar_t kEditProcedure[] = L"TarnexEditProcedure";

LRESULT CALLBACK ReadOnlyEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto own = reinterpret_cast<WNDPROC>(::GetPropW(edit, kEditProcedure));
    if (own == nullptr) return ::DefWindowProcW(edit, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
        ::RemovePropW(edit, kEditProcedure);
        return ::CallWindowProcW(own, edit, message, wParam, lParam);
    }
    LRESULT result = ::CallWindowProcW(own, edit, message, wParam, lParam);
    if (message == WM_GETDLGCODE && lParam != 0) {
        const MSG& key = *reinterpret_cast<const MSG*>(lParam);
        if ((key.message == WM_KEYDOWN || key.message == WM_CHAR) &&
            (key.wParam == VK_TAB || key.wParam == VK_RETURN || key.wParam == VK_ESCAPE))
            result &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    }
    return result;
}

}  // namespace

void LeaveDialogKeysToTheWizard(HWND page, int editId) {
    HWND edit = ::GetDlgItem(page, editId);
    if (edit == nullptr || ::GetPropW(edit, kEditProcedure) != nullptr) return;
    const LONG_PTR own = ::GetWindowLongPtrW(edit, GWLP_WNDPROC);
    if (own == 0 || !::SetPropW(edit, kEditProcedure, reinterpret_cast<HANDLE>(own))) return;
    ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReadOnlyEditProc));
}

HWND CheckedRadio(HWND page, int first, int last) {
    for (int id = first; id <= last; ++id)
        if (::IsDlgButtonChecked(page, id) == BST_CHECKED) return ::GetDlgItem(page, id);
    return nullptr;
}

void AppendListItem(std::wstring& text, const std::wstring& item) { AppendText(text, L"\r\n\t" + item); }

}  // namespace tarnex
