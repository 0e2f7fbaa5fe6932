#include "sysops/cab_extractor.h"

#include "portable/access_filter.h"
#include "portable/path_guard.h"
#include "run/app_context.h"
#include "run/message_box.h"
#include "run/setup_log.h"
#include "sysops/folder_tree.h"
#include "sysops/replace_policy.h"
#include "vrel/text_convert.h"

namespace tarnex {
namespace {

constexpr std::size_t kAnsiPathLimit = 260;

// Names from the package joined to a folder must stay in it: anything else
// is refused and logged, never written.
bool AcceptedName(const std::wstring& name, const wchar_t* what) {
    if (StaysInsideFolder(name)) return true;
    WriteLogF(L"Refused %s outside its folder: %s", what, name.c_str());
    return false;
}

}  // namespace

std::wstring TemporaryPathOf(const FileRecord& record) {
    return std::wstring(record.TargetFolder) + kTemporaryPrefix + record.TargetName;
}

CabExtractor::CabExtractor(SetupDescription& description)
    : PauseReached(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      PauseAnswered(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      description_(description) {}

void CabExtractor::PauseHandOver() { ::SignalObjectAndWait(PauseReached.get(), PauseAnswered.get(), INFINITE, FALSE); }

void CabExtractor::PostProgress() {
    if (ProgressWindow != nullptr) ::PostMessageW(ProgressWindow, kFileProgressMessage, 0, 0);
}

bool CabExtractor::SkippedByAccess(const FileRecord& record) const {
    return description_.Access != 0 && AccessFilterPassesOver(record.SourceName, description_.AccessVersion);
}

bool CabExtractor::CopyLooseFiles() {
    const std::wstring setupFolder = App().ProgramFolder;
    for (ComponentRecord& component : description_.ComponentList) {
        if (!component.Selected) continue;
        for (const FileRef ref : component.Files) {
            FileRecord& record = description_.FileOf(ref);
            if (record.Extracted || record.FileFlags != kLooseFile) continue;
            if (SkippedByAccess(record)) continue;
            if (!AcceptedName(record.SourceName, L"source file") || !AcceptedName(record.TargetName, L"target file"))
                continue;
            const std::wstring source = setupFolder + record.SourceName;
            const std::wstring target = TemporaryPathOf(record);
            CreateFolderTree(FolderOf(target));
            if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
                ShowMessage(nullptr, FormatText(25, source.c_str(), target.c_str()), kErrorBox);
                return false;
            }
            record.Extracted = 1;
            PostProgress();
            if (Pause) PauseHandOver();
            if (Cancelled()) return false;
        }
    }
    const std::wstring installFolder = description_.InstallFolder;
    for (std::size_t i = 1; i < description_.InfFiles.size(); ++i) {
        const std::wstring source = description_.InfFiles[i].InfPath;
        std::wstring relative = source;
        if (relative.size() > setupFolder.size() && _wcsnicmp(relative.c_str(), setupFolder.c_str(), setupFolder.size()) == 0)
            relative.erase(0, setupFolder.size());
        if (!AcceptedName(relative, L"INF file")) continue;
        const std::size_t slash = relative.rfind(L'\\');
        const std::wstring folderPart = slash == std::wstring::npos ? std::wstring() : relative.substr(0, slash + 1);
        const std::wstring namePart = slash == std::wstring::npos ? relative : relative.substr(slash + 1);
        const std::wstring target = installFolder + folderPart + kTemporaryPrefix + namePart;
        CreateFolderTree(FolderOf(target));
        if (!::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            ShowMessage(nullptr, FormatText(25, source.c_str(), target.c_str()), kErrorBox);
            return false;
        }
    }
    return true;
}

bool CabExtractor::ExtractCabinet(const std::wstring& cabinetPath) {
    Decoder = CabDecoder::Create(Error);
    if (!Decoder) return false;
    const std::size_t slash = cabinetPath.rfind(L'\\');
    const std::string folder = vrel::ToNarrow(slash == std::wstring::npos ? std::wstring() : cabinetPath.substr(0, slash + 1));
    const std::string name = vrel::ToNarrow(slash == std::wstring::npos ? cabinetPath : cabinetPath.substr(slash + 1));
    const CabHandler handler = [this](CabNotification kind, CabNotice& notice) { return OnNotification(kind, notice); };

    // A path the ANSI interface cannot hold is a cabinet that cannot be read;
    // so is a device (reading COM1 would wait for the line).
    bool readable = folder.size() < kAnsiPathLimit && name.size() < kAnsiPathLimit && !name.empty() &&
                    vrel::RepresentableInAnsi(cabinetPath) &&
                    !NamesDevice(slash == std::wstring::npos ? cabinetPath : cabinetPath.substr(slash + 1));
    for (int attempt = 0; readable; ++attempt) {
        const bool copied = Decoder->Copy(name, folder, handler);
        Output = nullptr;  // closed by the handler, or by the decoder when it failed
        if (Pause) PauseHandOver();
        if (Cancelled() || copied) {
            Decoder.reset();
            return true;
        }
        if (Error.failed || attempt >= kMaxCopyRetries) readable = false;
    }
    ShowMessage(nullptr, FormatText(26, cabinetPath.c_str()), kErrorBox);
    SetCancel();
    Decoder.reset();
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
    const std::wstring name = vrel::ToWide(notice.name != nullptr ? notice.name : "");
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
    if (!AcceptedName(name, L"cabinet entry") || !AcceptedName(found->TargetName, L"target file")) return 0;
    if (!MayReplaceExisting(*found, Owner)) {
        PostProgress();
        return 0;
    }
    const std::wstring target = TemporaryPathOf(*found);
    CreateFolderTree(found->TargetFolder);
    HANDLE output = ::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        SetCancel();
        ShowMessage(nullptr, FormatText(26, target.c_str()), kErrorBox);
        return -1;
    }
    Output = output;
    found->Extracted = 1;
    PostProgress();
    return reinterpret_cast<std::intptr_t>(output);
}

bool CabExtractor::CloseFile(CabNotice& notice) {
    const HANDLE output = reinterpret_cast<HANDLE>(notice.output);
    FILETIME local{}, utc{};
    if (::DosDateTimeToFileTime(notice.dosDate, notice.dosTime, &local) && ::LocalFileTimeToFileTime(&local, &utc))
        ::SetFileTime(output, &utc, nullptr, &utc);
    ::CloseHandle(output);
    Output = nullptr;
    if (Pause) PauseHandOver();
    return !Cancelled();
}

}  // namespace tarnex
