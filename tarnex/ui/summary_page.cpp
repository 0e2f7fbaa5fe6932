// Page 4: what the run is about to do. In the removal runs the description
// and the catalogue are read again first, so that the removal sections are
// the ones the engine works with.
#include <string>

#include "description/portable/component_rules.h"
#include "description/setup_description.h"
#include "engine/installed_version.h"
#include "engine/package_reload.h"
#include "engine/upgrade_plan.h"
#include "portable/text_pieces.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "ui/page_common.h"
#include "ui/wizard_ids.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {


class SummaryPage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        INT_PTR result = 0;
        if (HandleReadOnlyEdit(message, wParam, lParam, IDC_SUMMARY_TEXT, result)) return result;
        if (message == WM_INITDIALOG) {
            LeaveDialogKeysToTheWizard(window_, IDC_SUMMARY_TEXT);
            return TRUE;
        }
        if (message == RegisterWizardMessages().SetActive) Build();
        return 0;
    }

    void Build() {
        frame_.EnableButton(PageButton::Back, false);
        frame_.EnableButton(PageButton::Cancel, false);
        ::SetDlgItemTextW(window_, IDC_SUMMARY_STATUS, LoadText(TextId::kPleaseWait).c_str());
        std::wstring text;
        TextId status = TextId::kSummaryStartInstall;
        switch (App().Mode) {
        case AS_DEL:
        case AS_SD:
            if (!Reload()) return;
            text = Removal();
            status = TextId::kSummaryStartRemoval;
            break;
        case AS_REP:
            text = Repair();
            break;
        default:
            text = Installation();
            break;
        }
        ::SetDlgItemTextW(window_, IDC_SUMMARY_STATUS, LoadText(status).c_str());
        ::SetDlgItemTextW(window_, IDC_SUMMARY_TEXT, text.c_str());
        frame_.EnableButton(PageButton::Back, true);
        frame_.EnableButton(PageButton::Cancel, true);
    }

    static std::wstring Installation() {
        const SetupDescription& d = Description();
        std::wstring text = LoadText(TextId::kSummaryInstallOptions);
        AppendText(text, L"\r\n" + LoadText(TextId::kSummaryInstallFolder));
        AppendListItem(text, d.InstallFolder);
        if (d.Access) {
            AppendText(text, L"\r\n" + LoadText(TextId::kSummaryAccessVersion));
            if (d.AccessVersion == 1) AppendListItem(text, L"Microsoft Access 97");
            if (d.AccessVersion == 2) AppendListItem(text, L"Microsoft Access 2000");
        }
        AppendText(text, L"\r\n" + LoadText(TextId::kSummaryComponents));
        for (std::size_t i = 1; i < d.ComponentList.size(); ++i)
            if (d.ComponentList[i].Selected) AppendListItem(text, d.ComponentList[i].LocName);
        if (App().Mode == AS_AD) {
            bool heading = false;
            for (std::size_t i = 1; i < d.ComponentList.size(); ++i) {
                const ComponentRecord& c = d.ComponentList[i];
                if (!c.Installed || c.Selected) continue;
                if (!heading) AppendText(text, L"\r\n" + LoadText(TextId::kSummaryToRemove));
                heading = true;
                AppendListItem(text, c.LocName);
            }
        }
        AppendUpgrade(text);
        return text;
    }

    // What an installation over an installed version takes away, and a
    // maintenance run from a package whose lists differ from its copies.
    static void AppendUpgrade(std::wstring& text) {
        const InstalledVersion& previous = PreviousVersion();
        const UpgradePlan plan = PlanUpgradeOfChoice(Description(), previous);
        if (plan.Empty()) return;
        // A version that never said its number is named by none.
        const bool named = previous.DisplayVersion != kUnknownVersion;
        AppendText(text, L"\r\n" + (named ? FormatText(TextId::kSummaryUpgradeTakesAway, previous.DisplayVersion.c_str())
                                           : LoadText(TextId::kSummaryUpgradeOfUnknownVersion)));
        for (const std::wstring& name : plan.Components) AppendListItem(text, name);
        const auto count = [](std::size_t n) { return static_cast<int>(n); };
        AppendListItem(text, FormatText(TextId::kSummaryUpgradeCounts, count(plan.Files.size() + plan.InstallerFiles.size()),
                                        count(plan.Keys.size() + plan.Values.size()), count(plan.Links.size()),
                                        count(plan.Variables.size())));
    }

    // Every installed component, which is then the one selected.
    static std::wstring InstalledList(TextId heading) {
        SetupDescription& d = Description();
        SelectInstalledForSummary(App().Mode, d.ComponentList);
        std::wstring text = LoadText(heading);
        AppendText(text, L"\r\n" + LoadText(TextId::kSummaryComponents));
        for (std::size_t i = 1; i < d.ComponentList.size(); ++i)
            if (d.ComponentList[i].Installed) AppendListItem(text, d.ComponentList[i].LocName);
        return text;
    }

    static std::wstring Repair() {
        std::wstring text = InstalledList(TextId::kSummaryToRepair);
        AppendUpgrade(text);
        return text;
    }

    static std::wstring Removal() { return InstalledList(TextId::kSummaryToRemove); }

    // Reads the description and the catalogue again with the removal
    // sections; a failure ends the wizard as cancelled.
    bool Reload() {
        frame_.EnableButton(PageButton::Next, false);
        if (const std::optional<Question> unreadable = ReloadPackage(Description())) return Fail(*unreadable);
        frame_.EnableButton(PageButton::Next, true);
        return true;
    }

    bool Fail(Question message) {
        Ask(nullptr, message);
        frame_.Abort = 1;
        return false;
    }
};

}  // namespace

std::unique_ptr<WizardPage> MakeSummaryPage(WizardFrame& frame) { return std::make_unique<SummaryPage>(frame); }

}  // namespace tarnex
