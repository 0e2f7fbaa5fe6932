#include "description/setup_api.h"

#include "vrel/system_folder.h"

namespace tarnex {

const SetupApi& Setup() {
    static const SetupApi api = [] {
        SetupApi found;
        // By full path; it stays loaded for the rest of the process, as the
        // INF handles it gives out do.
        const HMODULE m = vrel::LoadSystemLibrary(L"setupapi.dll");
        const bool all = vrel::BindAll(m, "SetupOpenInfFileA", found.OpenInfFileA, "SetupCloseInfFile", found.CloseInfFile,
                                       "SetupGetLineCountA", found.GetLineCountA, "SetupFindFirstLineA",
                                       found.FindFirstLineA, "SetupFindNextLine", found.FindNextLine,
                                       "SetupGetLineTextA", found.GetLineTextA, "SetupGetStringFieldW",
                                       found.GetStringFieldW);
        return all ? found : SetupApi{};
    }();
    return api;
}

}  // namespace tarnex
