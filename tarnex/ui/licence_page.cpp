// Page 1: "license.txt" of the package in a fixed-pitch font; Next and Cancel
// read "&Да" and "&Нет" while the page is shown, and Back "<< Н&азад".
#include <string>
#include <vector>

#include "description/setup_description.h"
#include "portable/byte_order_mark.h"
#include "portable/package_facts.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/page_common.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

// A licence text is read whole; anything larger is no licence text.
constexpr DWORD kLargestLicence = 16 * 1024 * 1024;

// A UTF-16 or UTF-8 byte-order mark says how the licence is written; without
// one it is read in the system's code page.
std::wstring LicenceText(const std::string& bytes) {
    const MarkedText marked = ReadByteOrderMark(bytes);
    switch (marked.coding) {
    case TextCoding::Utf16Le:
    case TextCoding::Utf16Be:
        return Utf16Units(marked.body, marked.coding == TextCoding::Utf16Be);
    case TextCoding::Utf8:
        return vrel::ToWide(marked.body, CP_UTF8);
    case TextCoding::Ansi:
        break;
    }
    // A licence without a mark was written in some ANSI code page, and the
    // file does not say which: the system's is the one packages have always
    // been read in. tarnex-pack marks a UTF-8 licence, so its packages never
    // take this road with non-ASCII text in another code page.
    return vrel::ToWide(marked.body, CP_ACP);
}

class LicencePage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        INT_PTR result = 0;
        if (HandleReadOnlyEdit(message, wParam, lParam, IDC_LICENCE_TEXT, result)) return result;
        const WizardMessages& wizard = RegisterWizardMessages();
        if (message == WM_INITDIALOG) {
            LeaveDialogKeysToTheWizard(window_, IDC_LICENCE_TEXT);
            // Every page is created, also in runs that never show this one:
            // a package without a licence is not told that it has none.
            if (Description().License) ShowLicence();
            return TRUE;
        }
        if (message == wizard.SetActive) {
            frame_.SetButtonText(PageButton::Next, L"&Да");
            frame_.SetButtonText(PageButton::Cancel, L"&Нет");
            // "&Нет" takes Back's letter: Back answers to another meanwhile.
            frame_.SetButtonText(PageButton::Back, L"<< Н&азад");
        } else if (message == wizard.LoseActive) {
            frame_.SetButtonText(PageButton::Next, L"&Далее >>");
            frame_.SetButtonText(PageButton::Cancel, L"О&тмена");
            frame_.SetButtonText(PageButton::Back, L"<< &Назад");
        }
        return 0;
    }

    void ShowLicence() {
        const std::wstring path = std::wstring(App().ProgramFolder) + kLicenceFile;
        vrel::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            Ask(nullptr, Question::kLicenceCannotOpen, path.c_str());
        } else {
            LARGE_INTEGER size{};
            ::GetFileSizeEx(file.get(), &size);
            std::string bytes(static_cast<std::size_t>(size.QuadPart > kLargestLicence ? kLargestLicence : size.QuadPart),
                              '\0');
            DWORD got = 0;
            if (!bytes.empty() && ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
                bytes.resize(got);
            ::SetDlgItemTextW(window_, IDC_LICENCE_TEXT, LicenceText(bytes).c_str());
        }
        HWND edit = ::GetDlgItem(window_, IDC_LICENCE_TEXT);
        const HFONT own = reinterpret_cast<HFONT>(::SendMessageW(edit, WM_GETFONT, 0, 0));
        LOGFONTW description{};
        if (own == nullptr || ::GetObjectW(own, sizeof description, &description) == 0) return;
        description.lfHeight -= 2;
        ::lstrcpynW(description.lfFaceName, L"Courier New", LF_FACESIZE);
        font_.reset(::CreateFontIndirectW(&description));
        if (font_) ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }

    void OnDpiChanged(UINT dpi) override { RescaleControlFont(window_, IDC_LICENCE_TEXT, font_, Dpi(), dpi); }

    vrel::unique_gdiobj font_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeLicencePage(WizardFrame& frame) { return std::make_unique<LicencePage>(frame); }

}  // namespace tarnex
