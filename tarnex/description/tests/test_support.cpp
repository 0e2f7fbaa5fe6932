#include "test_support.h"

#include "services/app_context.h"
#include "vrel/bounded_copy.h"

namespace tarnex::test {

void SetUpTestContext() {
    App().Instance = ::GetModuleHandleW(nullptr);
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring system = folder;
    if (system.back() != L'\\') system += L'\\';
    // The log goes to a folder of this program's own (once for the
    // process): other test programs of the prefix write the shared log at
    // the same moments, and an entry that meets another's open fails and
    // shows the log's warning box, which nobody here would answer.
    static const std::wstring logFolder = testfiles::MakeScratchFolder(L"description_log");
    vrel::CopyToField(App().WindowsFolder, std::wstring_view(logFolder));
    vrel::CopyToField(App().SystemFolder, std::wstring_view(system));
    vrel::CopyToField(App().Caption, std::wstring_view(L"Test caption"));
}

}  // namespace tarnex::test
