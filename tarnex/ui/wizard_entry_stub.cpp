// WIZARD STUB: stands in for the wizard frame and the background window
// until they are built. It logs the run mode it was called in, so that a run
// of the program can be checked up to the hand-over, and reports the wizard
// as interrupted.
#include <string>

#include "description/setup_description.h"
#include "run/app_context.h"
#include "run/setup_log.h"
#include "ui/wizard_entry.h"

namespace tarnex {

int CreateBackgroundWindow(int /*showPicture*/, const wchar_t* /*text*/) { return 1; }

int RunWizard() {
    wchar_t mode[16] = L"?";
    GetModeName(mode);
    WriteLog(L"Wizard stub: mode " + std::wstring(mode) + L", product \"" + Description().NameGen + L"\"");
    return 0;
}

}  // namespace tarnex
