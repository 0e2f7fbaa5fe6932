#include "tovframe_host.h"

#include <cstdio>

#include "vrel/module_exports.h"

namespace bm100tool {
namespace {

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn& fn, const char* who) {
    if (vrel::Bind(module, name, fn)) return true;
    std::fprintf(stderr, "%s: TovFrame.dll lacks the export %s\n", who, name);
    return false;
}

}  // namespace

TovFrameHost::~TovFrameHost() {
    if (initialised_) uninitialize(dsc.handle);
}

bool TovFrameHost::Load(const std::wstring& folder, const char* who) {
    if (!folder.empty()) module_.reset(::LoadLibraryW((folder + L"TovFrame.dll").c_str()));
    if (!module_) module_.reset(::LoadLibraryW(L"TovFrame.dll"));
    if (!module_) {
        std::fprintf(stderr, "%s: cannot load TovFrame.dll (error %lu)\n", who, ::GetLastError());
        return false;
    }
    HMODULE m = module_.get();
    if (!Bind(m, TOV_EXPORT_GETINFO, getInfo, who) || !Bind(m, TOV_EXPORT_FRAMEINITIALIZE, initialize, who) ||
        !Bind(m, TOV_EXPORT_FRAMEUNINITIALIZE, uninitialize, who) ||
        !Bind(m, TOV_EXPORT_GETSPDDEVNAME, devName, who) || !Bind(m, TOV_EXPORT_GETSPDPACKNAME, packName, who) ||
        !Bind(m, TOV_EXPORT_GETSPDCELLNAME, cellName, who) || !Bind(m, TOV_EXPORT_SETFRAMEDATA, setFrameData, who) ||
        !Bind(m, TOV_EXPORT_FRAMEANALIZE, analize, who))
        return false;
    const unsigned long result = initialize(&dsc, FRSPDDEVTYPE_BM100, FRSPDDEVVER_2);
    if (result != TOV_OK || !dsc.device || !dsc.buffer) {
        std::fprintf(stderr, "%s: TovFrame cannot describe the BM100 (result %lu)\n", who, result);
        return false;
    }
    initialised_ = true;
    return true;
}

std::string TovFrameHost::DeviceName(FRSPDDEVTYPE type) const {
    char name[128] = {};
    unsigned long length = sizeof name;
    return devName(type, name, &length) == TOV_OK && length > 0 ? name : "?";
}

std::string TovFrameHost::PackName(unsigned long pack) const {
    char name[128] = {};
    unsigned long length = sizeof name;
    return packName(dsc.handle, pack, name, &length) == TOV_OK ? name : "?";
}

std::string TovFrameHost::CellName(unsigned long pack, unsigned long cell) const {
    char name[128] = {};
    unsigned long length = sizeof name;
    return cellName(dsc.handle, pack, cell, name, &length) == TOV_OK ? name : "?";
}

}  // namespace bm100tool
