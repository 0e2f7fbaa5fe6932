#include "sysops/cab_extractor.h"

#include "description/folded_name.h"
#include "description/package_seal_check.h"
#include "portable/access_filter.h"
#include "portable/path_guard.h"
#include "services/app_context.h"
#include "services/message_box.h"
#include "services/setup_log.h"
#include "sysops/folder_tree.h"
#include "sysops/replace_policy.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

constexpr std::size_t kPathLimit = 260;  // the file calls' MAX_PATH

// Names from the package joined to a folder must stay in it: anything else
// is refused and logged, never written.
bool AcceptedName(const std::wstring& name, const wchar_t* what) {
    if (StaysInsideFolder(name)) return true;
    WriteLogF(L"Refused %s outside its folder: %s", what, name.c_str());
    return false;
}

// A record whose folder step 1 refused was logged there.
bool AcceptedTarget(const FileRecord& record) {
    return !record.PathRefused && AcceptedName(record.TargetName, L"target file");
}

}  // namespace

CabExtractor::CabExtractor(SetupDescription& description) : CabExtractor(description, PackageIsSealed()) {}

CabExtractor::CabExtractor(SetupDescription& description, bool hashCabinets)
    : description_(description),
      pauseReached_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      pauseAnswered_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      hashCabinets_(hashCabinets) {}

void CabExtractor::PauseHandOver() { ::SignalObjectAndWait(pauseReached_.get(), pauseAnswered_.get(), INFINITE, FALSE); }

void CabExtractor::PostProgress() {
    if (progressWindow_ != nullptr) ::PostMessageW(progressWindow_, kFileProgressMessage, 0, 0);
}

bool CabExtractor::SkippedByAccess(const FileRecord& record) const {
    return description_.Access != 0 && AccessFilterPassesOver(record.SourceName, description_.AccessVersion);
}

bool CabExtractor::RefusedWithoutEvents(const std::wstring& shownPath) {
    if (pauseReached_ && pauseAnswered_) return false;
    WriteLog(L"Transfer context without its events: nothing is unpacked\r\n");
    failure_ = Failure{Question::kCabinetCannotUnpack, shownPath, {}};
    SetCancel();
    return true;
}

bool CabExtractor::CopyLooseFiles() {
    const std::wstring setupFolder = App().ProgramFolder;
    if (RefusedWithoutEvents(description_.InfFiles.size() > 1 ? std::wstring(description_.InfFiles[1].CabinetPath)
                                                               : setupFolder))
        return false;
    for (ComponentRecord& component : description_.ComponentList) {
        if (!component.Selected) continue;
        for (const FileRef ref : component.Files) {
            FileRecord& record = description_.FileOf(ref);
            if (record.Extracted || record.FileFlags != kLooseFile) continue;
            if (SkippedByAccess(record)) continue;
            if (!AcceptedName(record.SourceName, L"source file") || !AcceptedTarget(record)) continue;
            const std::wstring source = setupFolder + record.SourceName;
            const std::wstring target = TemporaryPathOf(record);
            CreateFolderTree(FolderOf(target));
            if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
                failure_ = Failure{Question::kFileCannotCopy, source, target};
                return false;
            }
            record.Extracted = 1;
            PostProgress();
            if (PauseRequested()) PauseHandOver();
            if (Cancelled()) return false;
        }
    }
    for (std::size_t i = 1; i < description_.InfFiles.size(); ++i) {
        const std::wstring source = description_.InfFiles[i].InfPath;
        const std::wstring target = InfCopyPath(description_, description_.InfFiles[i], true);
        if (target.empty()) {
            WriteLogF(L"Refused INF file outside its folder: %s", PackageRelativePath(source).c_str());
            continue;
        }
        CreateFolderTree(FolderOf(target));
        if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            failure_ = Failure{Question::kFileCannotCopy, source, target};
            return false;
        }
    }
    return true;
}

bool CabExtractor::ExtractCabinet(const std::wstring& cabinetPath) {
    if (RefusedWithoutEvents(cabinetPath)) return true;
    decoder_ = CabDecoder::Create(error_);
    if (!decoder_) return false;
    decoder_->HashCabinets(hashCabinets_);
    const std::size_t slash = cabinetPath.rfind(L'\\');
    // The decoder takes the path as UTF-8, which spells any name Windows
    // allows, and opens it through the UTF-16 calls.
    const std::wstring wideName = slash == std::wstring::npos ? cabinetPath : cabinetPath.substr(slash + 1);
    const std::string folder =
        vrel::ToNarrow(slash == std::wstring::npos ? std::wstring() : cabinetPath.substr(0, slash + 1), CP_UTF8);
    const std::string name = vrel::ToNarrow(wideName, CP_UTF8);
    const CabHandler handler = [this](CabNotification kind, CabNotice& notice) { return OnNotification(kind, notice); };

    // A path longer than the file calls take is a cabinet that cannot be
    // read; so is a device (reading COM1 would wait for the line).
    bool readable = cabinetPath.size() < kPathLimit && !wideName.empty() &&
                    cabinetPath.find(L'\0') == std::wstring::npos && !NamesDevice(wideName);
    for (int attempt = 0; readable; ++attempt) {
        const bool copied = decoder_->Copy(name, folder, handler);
        if (PauseRequested()) PauseHandOver();
        // A cabinet that is not the sealed one is refused as such, also
        // when it could not be decoded; a cancelled copy installs nothing.
        if (Cancelled() || !CabinetsMatchSeal() || copied) {
            decoder_.reset();
            return true;
        }
        if (error_.failed || attempt >= kMaxCopyRetries) readable = false;
    }
    failure_ = Failure{Question::kCabinetCannotUnpack, cabinetPath, {}};
    SetCancel();
    decoder_.reset();
    return true;
}

bool CabExtractor::CabinetsMatchSeal() {
    if (!hashCabinets_) return true;
    for (const CabinetDigests::Cabinet& cabinet : decoder_->FinishDigests()) {
        const std::wstring path = vrel::ToWide(cabinet.path, CP_UTF8);
        if (CabinetMatchesSeal(path, cabinet.readable, cabinet.size, cabinet.digest)) continue;
        changedFile_ = path.substr(path.find_last_of(L'\\') + 1);
        failure_ = Failure{Question::kPackageChanged, changedFile_, {}};
        SetCancel();
        return false;
    }
    return true;
}

std::intptr_t CabExtractor::OnNotification(CabNotification kind, CabNotice& notice) {
    switch (kind) {
    case CabNotification::CabinetInfo:
        return notice.error != 0 ? -1 : 0;
    case CabNotification::PartialFile:
    case CabNotification::NextCabinet:
        return 1;
    case CabNotification::CopyFile:
        return CopyFile(notice);
    case CabNotification::CloseFileInfo:
        return CloseFile(notice) ? 1 : 0;
    }
    return 0;
}

std::intptr_t CabExtractor::CopyFile(CabNotice& notice) {
    // Archivers that write names outside the ANSI code page mark them UTF-8;
    // read as ANSI they would match no record and the file would be lost.
    const std::wstring name =
        vrel::ToWide(notice.name != nullptr ? notice.name : "", notice.utf8Name ? CP_UTF8 : CP_ACP);
    FileRecord* found = nullptr;
    for (ComponentRecord& component : description_.ComponentList) {
        if (!component.Selected) continue;
        for (const FileRef ref : component.Files) {
            FileRecord& record = description_.FileOf(ref);
            if (!record.Extracted && name == record.SourceName) {
                found = &record;
                break;
            }
        }
        if (found != nullptr) break;
    }
    if (found == nullptr) return 0;
    if (SkippedByAccess(*found)) return 0;
    if (!AcceptedName(name, L"cabinet entry") || !AcceptedTarget(*found)) return 0;
    if (createdFolders_.count(FoldedName(found->TargetFolder)) != 0) {
        found->PlaceFree = 1;
    } else if (!MayReplaceExisting(*found, owner_)) {
        PostProgress();
        return 0;
    }
    const std::wstring target = TemporaryPathOf(*found);
    const auto create = [&target] {
        return ::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    // Most files go to a folder that exists already: its parts are created
    // only when the file cannot be (four calls a file less, each a trip
    // through Wine's server).
    HANDLE output = create();
    if (output == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PATH_NOT_FOUND &&
        CreateFolderTree(found->TargetFolder)) {
        createdFolders_.insert(FoldedName(found->TargetFolder));
        output = create();
    }
    // Two entries for one target: the first may still be open in the
    // decoder's writer.
    if (output == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION && decoder_) {
        decoder_->WaitForOutputs();
        output = create();
    }
    if (output == INVALID_HANDLE_VALUE) {
        SetCancel();
        failure_ = Failure{Question::kCabinetCannotUnpack, target, {}};
        return -1;
    }
    found->Extracted = 1;
    PostProgress();
    notice.output.reset(output);
    return 1;
}

// The decoder's writer sets the cabinet's times and closes the output once
// its data is written; the safe point between files is here all the same.
bool CabExtractor::CloseFile(CabNotice&) {
    if (PauseRequested()) PauseHandOver();
    return !Cancelled();
}

}  // namespace tarnex
