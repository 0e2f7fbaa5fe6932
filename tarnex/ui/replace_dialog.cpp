#include "ui/replace_dialog.h"

#include <cwchar>

#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/common_controls.h"
#include "ui/replace_dialog_ids.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

struct DialogState {
    const ReplaceQuestion* question;
    vrel::unique_gdiobj boldFont;  // outlives the controls: released after the dialog ends
};

void SetBoldGroupCaptions(HWND dialog, DialogState& state) {
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (font == nullptr || ::GetObjectW(font, sizeof description, &description) == 0) return;
    description.lfWeight = FW_BOLD;
    state.boldFont.reset(::CreateFontIndirectW(&description));
    if (!state.boldFont) return;
    for (const int id : {IDC_EXISTING_GROUP, IDC_NEW_GROUP})
        ::SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(state.boldFont.get()), TRUE);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* state = reinterpret_cast<DialogState*>(lParam);
        const ReplaceQuestion& q = *state->question;
        SetBoldGroupCaptions(dialog, *state);
        ::SetDlgItemTextW(dialog, IDC_EXISTING_PATH, q.existingPath.c_str());
        ::SetDlgItemTextW(dialog, IDC_EXISTING_LINE,
                          ReplaceDialogLine(q.existingSize, q.existingTime, q.existingVersion).c_str());
        ::SetDlgItemTextW(dialog, IDC_NEW_NAME, q.incoming->TargetName);
        ::SetDlgItemTextW(dialog, IDC_NEW_LINE,
                          ReplaceDialogLine(q.incoming->Size, q.incoming->Time, q.incoming->FileVersion).c_str());
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= IDC_REPLACE_BUTTON && id <= IDC_SKIP_ALL_BUTTON) {
            ::EndDialog(dialog, id);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

}  // namespace

int ShowReplaceDialog(const ReplaceQuestion& question) {
    DialogState state{&question, {}};
    CommonControls();  // the classes its templates name
    const INT_PTR result = ::DialogBoxParamW(App().Instance, MAKEINTRESOURCEW(IDD_REPLACE_FILE), question.owner,
                                             DialogProc, reinterpret_cast<LPARAM>(&state));
    return result >= IDC_REPLACE_BUTTON && result <= IDC_SKIP_ALL_BUTTON ? static_cast<int>(result) : 2;
}

std::wstring ReplaceDialogLine(std::uint64_t size, const FileStamp& time, const std::wstring& version) {
    wchar_t stamp[64] = {};
    std::swprintf(stamp, 64, L"%.2d.%.2d.%d %.2d:%.2d:%.2d", time.Day, time.Month, time.Year, time.Hour,
                  time.Minute, time.Second);
    // The size goes in as text: "%d" would show files of 2 GiB and more as
    // negative numbers.
    std::wstring format = LoadText(TextId::kReplaceFileLine);
    const std::size_t at = format.find(L"%d");
    if (at != std::wstring::npos) format.replace(at, 2, L"%s");
    const std::wstring sizeText = std::to_wstring(size);
    return FormatMessageText(format.c_str(), sizeText.c_str(), stamp, version.c_str());
}

}  // namespace tarnex
