// Page 2: the install folder, with the free space of its drive refreshed
// every second, a folder browser, and the folder created before the user may
// go on.
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "description/setup_description.h"
#include "services/folder_paths.h"
#include "services/message_box.h"
#include "ui/free_space.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"
#include "vrel/bounded_copy.h"
#include "vrel/com_apartment.h"
#include "vrel/com_task_memory.h"

namespace tarnex {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;

using unique_pidl = vrel::unique_cotaskmem_ptr<ITEMIDLIST>;

std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

class FolderPage final : public WizardPage {
public:
    using WizardPage::WizardPage;

    HWND FirstFocus() const override { return ::GetDlgItem(window_, IDC_FOLDER_PATH); }

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM) override {
        const WizardMessages& wizard = RegisterWizardMessages();
        if (message == WM_INITDIALOG) return TRUE;
        if (message == WM_TIMER && wParam == kRefreshTimer) {
            RefreshFreeSpace();
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_FOLDER_BROWSE && HIWORD(wParam) == BN_CLICKED) {
            Browse();
            return TRUE;
        }
        if (message == wizard.SetActive) {
            ::SetTimer(window_, kRefreshTimer, kRefreshMs, nullptr);
            ::SetDlgItemTextW(window_, IDC_FOLDER_PATH, Description().InstallFolder);
            RefreshFreeSpace();
        } else if (message == wizard.LoseActive) {
            Leave();
        }
        return 0;
    }

    std::wstring TypedFolder() const {
        HWND edit = ::GetDlgItem(window_, IDC_FOLDER_PATH);
        std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    void RefreshFreeSpace() {
        const std::wstring typed = TypedFolder();
        ::SetDlgItemTextW(window_, IDC_FREE_SPACE, FormatSize(GetFreeSpace(typed.substr(0, 3))).c_str());
        ::SetDlgItemTextW(window_, IDC_FREE_SPACE_LABEL, FormatText(TextId::kFreeOnDrive, typed.substr(0, 1).c_str()).c_str());
    }

    void Browse() {
        const vrel::ComApartment com;
        unique_pidl root;
        if (FAILED(::SHGetSpecialFolderLocation(window_, CSIDL_DRIVES, root.put()))) root.reset();
        const std::wstring title = LoadText(TextId::kBrowseFolderTitle);
        BROWSEINFOW info{};
        info.hwndOwner = window_;
        info.pidlRoot = root.get();
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT;
        const unique_pidl chosen(::SHBrowseForFolderW(&info));
        wchar_t path[MAX_PATH] = {};
        if (chosen && ::SHGetPathFromIDListW(chosen.get(), path))
            ::SetDlgItemTextW(window_, IDC_FOLDER_PATH, WithBackslash(path).c_str());
    }

    void Leave() {
        const std::wstring typed = TypedFolder();
        const std::wstring folder = WithBackslash(typed);
        if (frame_.Direction() == Moving::Next) {
            // A folder that does not fit the description's field would be
            // cut to another folder: it is refused like one that cannot be made.
            if (!vrel::FitsField(std::wstring_view(folder), kOptionField)) {
                Ask(window_, Question::kTypedFolderCannotCreate, typed.c_str());
                frame_.LeaveAllowed = 0;
                return;
            }
            std::optional<Failure> failure;
            if (!EnsureFolder(typed, failure)) {
                if (failure) Tell(window_, *failure);
                frame_.LeaveAllowed = 0;
                return;
            }
        }
        frame_.LeaveAllowed = 1;
        if (vrel::FitsField(std::wstring_view(folder), kOptionField))
            vrel::CopyToField(Description().InstallFolder, std::wstring_view(folder));
        ::KillTimer(window_, kRefreshTimer);
    }
};

}  // namespace

std::unique_ptr<WizardPage> MakeFolderPage(WizardFrame& frame) { return std::make_unique<FolderPage>(frame); }

}  // namespace tarnex
