#include "sysops/version_api.h"

#include "vrel/module_exports.h"
#include "vrel/system_folder.h"

namespace tarnex {

const VersionApi& Version() {
    static const VersionApi api = [] {
        VersionApi found;
        // By full path; it stays loaded for the rest of the process.
        const HMODULE m = vrel::LoadSystemLibrary(L"version.dll").release();
        const bool all = vrel::BindAll(m, "GetFileVersionInfoSizeW", found.GetFileVersionInfoSizeW, "GetFileVersionInfoW",
                                       found.GetFileVersionInfoW, "VerQueryValueW", found.VerQueryValueW);
        return all ? found : VersionApi{};
    }();
    return api;
}

}  // namespace tarnex
