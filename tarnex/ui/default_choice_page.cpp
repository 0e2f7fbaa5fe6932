// Page 3 until the component page exists: a plain page that keeps the
// catalogue's default choice. A component is chosen when its State counts as
// chosen (after the add/remove run's first-activation rule) and it hangs at
// the top level or under a chosen component, as the component tree would
// show it untouched.
#include <set>

#include "description/portable/component_rules.h"
#include "description/setup_description.h"
#include "run/app_context.h"
#include "ui/wizard_pages.h"

namespace tarnex {
namespace {

class DefaultChoicePage final : public WizardPage {
public:
    using WizardPage::WizardPage;

private:
    INT_PTR Handle(UINT message, WPARAM, LPARAM) override {
        if (message == WM_INITDIALOG) return TRUE;
        if (message == RegisterWizardMessages().SetActive) {
            if (firstActivation_) ApplyInitialStates();
            firstActivation_ = false;
            SelectDefaults();
        }
        return 0;
    }

    static void ApplyInitialStates() {
        for (ComponentRecord& component : Description().ComponentList)
            if (component.Number != 0) component.State = InitialPageState(App().Mode, component);
    }

    static void SelectDefaults() {
        SetupDescription& description = Description();
        for (FileRecord& file : description.FileList) file.RefCount = 0;
        std::set<std::int32_t> chosen;
        bool anyFiles = false;
        for (ComponentRecord& component : description.ComponentList) {
            component.Selected = 0;
            if (component.Number == 0 || !StateCountsAsChosen(component.State)) continue;
            bool hangs = false;
            for (const std::int32_t parent : component.Dependencies)
                hangs = hangs || parent == 0 || (parent != component.Number && chosen.count(parent) != 0);
            if (!hangs) continue;
            chosen.insert(component.Number);
            component.Selected = 1;
            for (const FileRef ref : component.Files) ++description.FileOf(ref).RefCount;
            anyFiles = anyFiles || !component.Files.empty();
        }
        if (anyFiles && !description.ComponentList.empty()) {
            ComponentRecord& installer = description.ComponentList.front();
            installer.Selected = 1;
            for (const FileRef ref : installer.Files) ++description.FileOf(ref).RefCount;
        }
    }

    bool firstActivation_ = true;
};

}  // namespace

std::unique_ptr<WizardPage> MakeDefaultChoicePage(WizardFrame& frame) {
    return std::make_unique<DefaultChoicePage>(frame);
}

}  // namespace tarnex
