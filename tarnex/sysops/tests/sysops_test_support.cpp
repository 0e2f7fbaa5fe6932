#include "sysops_test_support.h"

#include <gtest/gtest.h>

#include <vector>

#include "../../../testsupport/registry_values.h"
#include "services/app_context.h"
#include "services/setup_log.h"
#include "vrel/bounded_copy.h"
#include "vrel/unique_handle.h"

namespace sysops_test {

std::wstring TestData() { return TestProgramFolder() + L"sysops_testdata\\"; }

namespace {
std::wstring TempRoot() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"vrel_sysops_tests\\";
}
}  // namespace

void InitTestApp() {
    tarnex::AppContext& app = tarnex::App();
    app.Instance = ::GetModuleHandleW(nullptr);
    vrel::CopyToField(app.Caption, std::wstring_view(L"Tarnex test"));
    const std::wstring root = TempRoot();
    ::CreateDirectoryW(root.c_str(), nullptr);
    const std::wstring logFolder = root + L"log\\";
    ::CreateDirectoryW(logFolder.c_str(), nullptr);
    vrel::CopyToField(app.WindowsFolder, std::wstring_view(logFolder));
    vrel::CopyToField(app.ProgramFolder, std::wstring_view(TestData()));
    ClearLog();
}

std::wstring LogText() { return testfiles::ReadUtf16(tarnex::LogPath()); }

void ClearLog() { ::DeleteFileW(tarnex::LogPath().c_str()); }

ReplaceScript::ReplaceScript(std::deque<int> answers)
    : answers_(std::move(answers)), answerer_([this](const tarnex::ReplaceQuestion& q) {
        asked.push_back(q);
        if (answers_.empty()) {
            ADD_FAILURE() << "replace dialog asked more often than scripted";
            return 2;
        }
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }) {}
ReplaceScript::~ReplaceScript() = default;

std::wstring RegText(HKEY root, const std::wstring& key, const std::wstring& name) {
    return testsupport::ReadRegistryText(root, key, name.c_str()).value_or(L"");
}

}  // namespace sysops_test

namespace sysops_test {
namespace {
void Put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
}  // namespace

void WriteStoredCab(const std::wstring& path, const std::vector<CabEntry>& entries) {
    std::string files, stream;
    for (const CabEntry& e : entries) {
        Put32(files, static_cast<std::uint32_t>(e.data.size()));
        Put32(files, static_cast<std::uint32_t>(stream.size()));
        Put16(files, 0);  // folder 0
        Put16(files, e.dosDate);
        Put16(files, e.dosTime);
        Put16(files, e.attributes);
        files += e.name;
        files.push_back('\0');
        stream += e.data;
    }
    std::string blocks;
    std::uint32_t count = 0;
    for (std::size_t at = 0; at < stream.size() || (at == 0 && stream.empty()); at += 32768) {
        const std::string chunk = stream.substr(at, 32768);
        Put32(blocks, 0);  // no checksum
        Put16(blocks, static_cast<std::uint32_t>(chunk.size()));
        Put16(blocks, static_cast<std::uint32_t>(chunk.size()));
        blocks += chunk;
        ++count;
        if (stream.empty()) break;
    }
    const std::uint32_t header = 36, folder = 8;
    const std::uint32_t dataStart = header + folder + static_cast<std::uint32_t>(files.size());
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, dataStart + static_cast<std::uint32_t>(blocks.size()));
    Put32(cab, 0);
    Put32(cab, header + folder);
    Put32(cab, 0);
    cab.push_back(3);
    cab.push_back(1);
    Put16(cab, 1);
    Put16(cab, static_cast<std::uint32_t>(entries.size()));
    Put16(cab, 0);
    Put16(cab, 0);
    Put16(cab, 0);
    Put32(cab, dataStart);
    Put16(cab, count);
    Put16(cab, 0);  // stored
    WriteBytes(path, cab + files + blocks);
}

}  // namespace sysops_test
