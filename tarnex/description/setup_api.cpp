#include "description/setup_api.h"

#include "vrel/module_exports.h"
#include "vrel/system_folder.h"

namespace tarnex {

const SetupApi& Setup() {
    static const SetupApi api = [] {
        SetupApi found;
        // By full path; it stays loaded for the rest of the process, as the
        // INF handles it gives out do.
        const HMODULE m = vrel::LoadSystemLibrary(L"setupapi.dll").release();
        const bool all = vrel::BindAll(m, "SetupOpenInfFileW", found.OpenInfFileW, "SetupCloseInfFile", found.CloseInfFile,
                                       "SetupGetLineCountW", found.GetLineCountW, "SetupFindFirstLineW",
                                       found.FindFirstLineW, "SetupFindNextLine", found.FindNextLine,
                                       "SetupGetLineTextW", found.GetLineTextW, "SetupGetStringFieldW",
                                       found.GetStringFieldW);
        return all ? found : SetupApi{};
    }();
    return api;
}

}  // namespace tarnex
