#include "sysops/version_api.h"

#include "vrel/system_folder.h"
#include "vrel/unique_handle.h"

namespace tarnex {
namespace {

struct LoadedVersionApi {
    vrel::unique_hmodule module;
    VersionApi api;

    LoadedVersionApi() : module(vrel::LoadSystemLibrary(L"version.dll")) {
        if (!module) return;
        VersionApi found;
        HMODULE m = module.get();
        if (vrel::BindFunction(m, "GetFileVersionInfoSizeW", found.GetFileVersionInfoSizeW) &&
            vrel::BindFunction(m, "GetFileVersionInfoW", found.GetFileVersionInfoW) &&
            vrel::BindFunction(m, "VerQueryValueW", found.VerQueryValueW))
            api = found;
    }
};

}  // namespace

const VersionApi& Version() {
    static const LoadedVersionApi loaded;
    return loaded.api;
}

}  // namespace tarnex
