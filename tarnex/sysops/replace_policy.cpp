#include "sysops/replace_policy.h"

#include <vector>

#include "description/package_paths.h"
#include "portable/replace_rules.h"
#include "services/replace_question.h"
#include "sysops/version_api.h"

namespace tarnex {
namespace {

FileStamp StampOf(const SYSTEMTIME& t) {
    FileStamp s;
    s.Year = t.wYear;
    s.Month = t.wMonth;
    s.DayOfWeek = t.wDayOfWeek;
    s.Day = t.wDay;
    s.Hour = t.wHour;
    s.Minute = t.wMinute;
    s.Second = t.wSecond;
    s.Milliseconds = t.wMilliseconds;
    return s;
}

LocalStamp Comparable(const FileStamp& s) {
    return LocalStamp{s.Year, s.Month, s.Day, s.Hour, s.Minute, s.Second, s.Milliseconds};
}

}  // namespace

int& StickyReplaceAnswer() {
    static int answer = kReplace;
    return answer;
}

std::wstring FileVersionText(const std::wstring& path) {
    const VersionApi& api = Version();
    if (!api.Loaded()) return {};
    DWORD ignored = 0;
    const DWORD size = api.GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!api.GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!api.VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    return FormatFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

bool MayReplaceExisting(FileRecord& record, HWND owner) {
    const std::wstring path = InstalledPathOf(record);
    WIN32_FILE_ATTRIBUTE_DATA existing{};
    const bool found = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &existing) != FALSE;
    // Step 9 then renames into the place without looking at it again.
    record.PlaceFree = !found && (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND);
    if (!found) return true;

    const std::wstring existingVersion = FileVersionText(path);
    const int order = CompareVersionText(existingVersion, record.FileVersion);
    // The existing time in local time, cut to whole milliseconds (the
    // conversion to SYSTEMTIME drops the rest).
    FILETIME local{};
    SYSTEMTIME existingTime{};
    ::FileTimeToLocalFileTime(&existing.ftLastWriteTime, &local);
    ::FileTimeToSystemTime(&local, &existingTime);
    const FileStamp existingStamp = StampOf(existingTime);
    if (WriteWithoutAsking(order, Comparable(existingStamp), Comparable(record.Time))) return true;

    ReplaceQuestion question;
    question.owner = owner;
    question.existingPath = path;
    question.existingSize = (static_cast<std::uint64_t>(existing.nFileSizeHigh) << 32) | existing.nFileSizeLow;
    question.existingTime = existingStamp;
    question.existingVersion = existingVersion;
    question.incoming = &record;
    const ReplaceOutcome outcome = DecideByAnswer(StickyReplaceAnswer(), [&] { return AskReplace(question); });
    if (outcome.keepExisting) record.KeepExisting = 1;
    return outcome.write;
}

}  // namespace tarnex
