#include "test_support.h"

#include "run/app_context.h"
#include "vrel/bounded_copy.h"

namespace tarnex::test {

void SetUpTestContext() {
    App().Instance = ::GetModuleHandleW(nullptr);
    wchar_t folder[MAX_PATH] = {};
    ::GetWindowsDirectoryW(folder, MAX_PATH);
    std::wstring windows = folder;
    if (windows.back() != L'\\') windows += L'\\';
    ::GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring system = folder;
    if (system.back() != L'\\') system += L'\\';
    vrel::CopyToField(App().WindowsFolder, std::wstring_view(windows));
    vrel::CopyToField(App().SystemFolder, std::wstring_view(system));
    vrel::CopyToField(App().Caption, std::wstring_view(L"Test caption"));
}

}  // namespace tarnex::test
