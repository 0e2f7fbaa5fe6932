#include "services/app_context.h"

#include <cwchar>
#include <string_view>
#include <utility>

#include "services/message_box.h"
#include "vrel/bounded_copy.h"
#include "vrel/module_path.h"

namespace tarnex {

namespace {


constexpr const wchar_t* kModeNames[] = {L"AS_INST", L"AS_DEL", L"AS_SUP", L"AS_REP", L"AS_AD", L"AS_SD"};

// A system folder into a fixed field, with a backslash appended when missing
// and there is room for it.
void StoreFolder(wchar_t (&field)[kTextField], std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    vrel::CopyToField(field, std::wstring_view(folder));
}

CarriedPackage& Carried() {
    static CarriedPackage package;
    return package;
}

}  // namespace

AppContext& App() {
    static AppContext context;
    return context;
}

void SetCarriedPackage(CarriedPackage package) { Carried() = std::move(package); }

void InitAppContext(HINSTANCE instance, const wchar_t* arguments) {
    AppContext& context = App();

    context.Instance = instance;
    context.CommandLine = arguments ? arguments : L"";

    vrel::CopyToField(context.Caption, std::wstring_view(LoadText(TextId::kSetupCaption)));

    // ProgramName: the file name cut at its last dot; ProgramFolder: the path
    // up to and including the last backslash.
    const CarriedPackage& carried = Carried();
    const std::wstring path = carried.installer.empty() ? vrel::ModulePath(instance) : carried.installer;
    context.ProgramPath = path;
    const std::size_t slash = path.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    vrel::CopyToField(context.ProgramName, std::wstring_view(name));
    vrel::CopyToField(context.ProgramFolder, std::wstring_view(folder));
    context.PackageSource = carried.sourceFolder;

    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
    StoreFolder(context.WindowsFolder, n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring());
    n = ::GetSystemDirectoryW(buffer, MAX_PATH);
    StoreFolder(context.SystemFolder, n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring());

    const std::wstring_view args(context.CommandLine);
    context.Mode = args.find(L"/u") != std::wstring_view::npos ? AS_DEL : AS_INST;
    context.ContinueAfterRestart = args.find(L"/r") != std::wstring_view::npos ? 1 : 0;
}

const wchar_t* ModeName(DWORD mode) {
    return mode < sizeof kModeNames / sizeof kModeNames[0] ? kModeNames[mode] : nullptr;
}

void GetModeName(wchar_t* buffer, std::size_t capacity) {
    if (const wchar_t* name = ModeName(App().Mode)) vrel::CopyToField(buffer, capacity, std::wstring_view(name));
}

}  // namespace tarnex
