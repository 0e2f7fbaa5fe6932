#include "description/setup_api.h"

#include "vrel/system_folder.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

using vrel::BindFunction;

struct LoadedSetupApi {
    vrel::unique_hmodule module;
    SetupApi api;

    LoadedSetupApi() : module(vrel::LoadSystemLibrary(L"setupapi.dll")) {
        if (!module) return;
        SetupApi found;
        HMODULE m = module.get();
        if (BindFunction(m, "SetupOpenInfFileA", found.OpenInfFileA) && BindFunction(m, "SetupCloseInfFile", found.CloseInfFile) &&
            BindFunction(m, "SetupGetLineCountA", found.GetLineCountA) && BindFunction(m, "SetupFindFirstLineA", found.FindFirstLineA) &&
            BindFunction(m, "SetupFindNextLine", found.FindNextLine) && BindFunction(m, "SetupGetLineTextA", found.GetLineTextA) &&
            BindFunction(m, "SetupGetStringFieldW", found.GetStringFieldW))
            api = found;
    }
};

}  // namespace

const SetupApi& Setup() {
    static const LoadedSetupApi loaded;
    return loaded.api;
}

}  // namespace tarnex
