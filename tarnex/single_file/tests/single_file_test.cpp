// The single-file package from the outside: a package folder that
// tarnex-pack made, carried after a copy of the built Tarnex.exe as the
// packer lays it out, is installed and removed quietly from that one
// program; a changed byte anywhere in what it carries is refused before
// anything is installed; and the folder it unpacks into lets only the
// system and the administrators in, goes at the end of every run, and is
// removed by the next run when a run that was cut off left it.
#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <psapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "../../../testsupport/import_patch.h"
#include "../../../testsupport/program_run.h"
#include "../../../testsupport/registry_values.h"
#include "code_signing.h"
#include "portable/sha256.h"
#include "portable/single_file_payload.h"
#include "services/app_context.h"
#include "services/setup_log.h"
#include "single_file/payload_unpacker.h"
#include "single_file/session_end_watch.h"
#include "single_file/unpack_folder.h"
#include "single_file/unpack_progress.h"
#include "single_file/unpack_progress_ids.h"
#include "tests/support/test_files.h"
#include "vrel/text_convert.h"
#include "vrel/unique_handle.h"
#include "wizard_run.h"

namespace {

using testfiles::Exists;
using testfiles::FilesIn;
using testfiles::ReadBytes;
using testfiles::RemoveTree;
using testfiles::TestProgramFolder;
using testfiles::WriteBytes;

const std::wstring kRoot = L"C:\\VrelSingleFile\\";
const std::wstring kPackage = kRoot + L"Package\\";
const std::wstring kInstall = kRoot + L"Install\\";
const std::wstring kLog = kRoot + L"run.log";
const std::wstring kSingleFile = kRoot + L"VrelSingle.exe";
const std::wstring kChangedFile = kRoot + L"VrelChanged.exe";
const wchar_t kPackageKey[] = L"Software\\VrelSingleFile\\Package";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vrel single file";
constexpr DWORD kRunTimeoutMs = 120000;

const char kManifest[] =
    "[Package]\n"
    "Name = Vrel single file\n"
    "Dir = C:\\VrelSingleFile\\Install\n"
    "Key = HKLM\\Software\\VrelSingleFile\\Package\n"
    "SupportMode = No\n"
    "\n"
    "[Component Core]\n"
    "File = core.txt\n";

std::string Narrow(const std::wstring& text) { return vrel::ToNarrow(text, CP_UTF8); }

tarnex::Sha256 DigestOf(const std::string& bytes) {
    tarnex::Sha256Stream hash;
    hash.Add(bytes.data(), bytes.size());
    return hash.Finish();
}

// The unpacking folders in the Windows folder's Temp.
std::vector<std::wstring> UnpackFolders() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    vrel::unique_hfind find(::FindFirstFileW((tarnex::SystemTempFolder() + tarnex::kUnpackFolderPrefix + L"*").c_str(), &data));
    if (!find) return names;
    do names.emplace_back(data.cFileName);
    while (::FindNextFileW(find.get(), &data));
    return names;
}

std::wstring Notes() {
    std::wstring names;
    vrel::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, tarnex::kUnpackedFoldersKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.put()) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (::RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names += std::wstring(name, length) + L";";
    }
    return names;
}

void Note(const std::wstring& name, const std::wstring& folder) {
    vrel::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, tarnex::kUnpackedFoldersKey, 0, nullptr, 0,
                                               KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))));
}

DWORD RunToEnd(const std::wstring& program, const std::wstring& arguments) {
    return testsupport::RunProgram(program, arguments, kRunTimeoutMs).value_or(0xFFFFFFFFu);
}

// Zeros ending in a marker: quick to make (the zeros are left to the
// file's end), and their digest.
const std::string kLargeEnd = "the large file's last bytes";
tarnex::Sha256 LargeDigest(std::uint64_t size) {
    tarnex::Sha256Stream hash;
    const std::string zeros(1 << 20, '\0');
    for (std::uint64_t done = 0; done < size - kLargeEnd.size(); done += zeros.size())
        hash.Add(zeros.data(), static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), size - kLargeEnd.size() - done)));
    hash.Add(kLargeEnd.data(), kLargeEnd.size());
    return hash.Finish();
}

// The single file as the packer lays it out: the installer program, then
// each file padded to a multiple of 8 (first "large.bin" of largeSize
// bytes when asked for, then the package folder's), then the index.
// Returns where each file starts in it, the index under "".
std::map<std::wstring, std::uint64_t> MakeSingleFile(const std::wstring& output, std::uint64_t largeSize = 0) {
    vrel::unique_hfile file(::CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file) << Narrow(output);
    std::uint64_t at = 0;
    const auto append = [&](const std::string& bytes) {
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        at += bytes.size();
        const std::string padding(static_cast<std::size_t>(tarnex::PaddedSize(at) - at), '\0');
        EXPECT_TRUE(::WriteFile(file.get(), padding.data(), static_cast<DWORD>(padding.size()), &written, nullptr));
        at += padding.size();
    };
    append(ReadBytes(TestProgramFolder() + L"Tarnex.exe"));
    const std::uint64_t filesStart = at;
    tarnex::PackageSeal index;
    index.description = index.installedDescription = L"Setup.inf";
    std::map<std::wstring, std::uint64_t> offsets;
    if (largeSize != 0) {
        index.files.push_back({L"large.bin", largeSize, LargeDigest(largeSize)});
        offsets[L"large.bin"] = at;
        LARGE_INTEGER end{};
        end.QuadPart = static_cast<LONGLONG>(at + largeSize - kLargeEnd.size());
        EXPECT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        at = static_cast<std::uint64_t>(end.QuadPart);
        append(kLargeEnd);
    }
    for (const std::wstring& name : FilesIn(kPackage)) {
        const std::string bytes = ReadBytes(kPackage + name);
        index.files.push_back({name, bytes.size(), DigestOf(bytes)});
        offsets[name] = at;
        append(bytes);
    }
    offsets[L""] = at;
    append(tarnex::PayloadIndexBlock(index, filesStart, at));
    return offsets;
}

void CleanSlate() {
    RemoveTree(kInstall);
    for (const std::wstring& name : UnpackFolders()) RemoveTree(tarnex::SystemTempFolder() + name + L"\\");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPackageKey);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    vrel::unique_hkey software;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, software.put()) == ERROR_SUCCESS)
        ::RegDeleteTreeW(software.get(), L"Tarnex");
}

class SingleFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RemoveTree(kRoot);
        WriteBytes(kRoot + L"Source\\core.txt", "the core file of the single-file package\r\n");
        WriteBytes(kRoot + L"Source\\package.ini", kManifest);
        const DWORD packed = RunToEnd(TestProgramFolder() + L"tarnex-pack.exe",
                                 L"\"" + kRoot + L"Source\\package.ini\" \"" + kPackage.substr(0, kPackage.size() - 1) + L"\"");
        ASSERT_EQ(0u, packed) << "tarnex-pack";
        offsets_ = MakeSingleFile(kSingleFile);
    }
    static void TearDownTestSuite() {
        CleanSlate();
        RemoveTree(kRoot);
    }
    void SetUp() override {
        // The log of the in-process cases goes to the Windows folder.
        tarnex::InitAppContext(::GetModuleHandleW(nullptr), L"");
        CleanSlate();
        ::DeleteFileW(kLog.c_str());
    }

    // The log of /log= (UTF-8).
    static std::string Log() { return ReadBytes(kLog); }
    static std::wstring Quiet(const std::wstring& more) { return L"/quiet /acceptos /log=" + kLog + more; }

    // Nothing of the package anywhere but the log.
    static void ExpectNothingLeft() {
        EXPECT_FALSE(Exists(kInstall));
        EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
        EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_TRUE(UnpackFolders().empty()) << Narrow(UnpackFolders().front());
        EXPECT_EQ(L"", Notes());
    }

    static std::map<std::wstring, std::uint64_t> offsets_;
};

std::map<std::wstring, std::uint64_t> SingleFile::offsets_;

TEST_F(SingleFile, InstallsAndRemovesQuietlyAndLeavesNoUnpackingFolder) {
    // A removal with nothing installed fails in the inner installer: its
    // code comes out, and the folder goes all the same.
    EXPECT_EQ(1605u, RunToEnd(kSingleFile, Quiet(L" /u")));  // ERROR_UNKNOWN_PRODUCT
    ExpectNothingLeft();

    ASSERT_EQ(0u, RunToEnd(kSingleFile, Quiet(L"")));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("Step 15")) << log;
    EXPECT_NE(std::string::npos, log.find("Single-file package: the package's installer ended with exit code 0")) << log;
    EXPECT_EQ(ReadBytes(kRoot + L"Source\\core.txt"), ReadBytes(kInstall + L"core.txt"));
    EXPECT_TRUE(Exists(kInstall + L"Setup.exe"));
    // The installed copy is what the list of programs and a restart's
    // continuation start, never the unpacking folder.
    const std::wstring removal =
        testsupport::ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString").value_or(L"<none>");
    EXPECT_EQ(0u, removal.find(L"\"" + kInstall + L"Setup.exe\"")) << Narrow(removal);
    // The package came from the single file's folder, which outlives the run.
    const std::wstring source = kSingleFile.substr(0, kSingleFile.rfind(L'\\') + 1);
    EXPECT_EQ(source, testsupport::ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallSource").value_or(L""));
    EXPECT_TRUE(UnpackFolders().empty());
    EXPECT_EQ(L"", Notes());

    ASSERT_EQ(0u, RunToEnd(kSingleFile, Quiet(L" /u")));
    EXPECT_FALSE(Exists(kInstall + L"core.txt"));
    EXPECT_TRUE(testfiles::WaitUntilGone(kInstall + L"Setup.exe", 30000));
    EXPECT_FALSE(testsupport::RegistryKeyExists(HKEY_LOCAL_MACHINE, kPackageKey));
    EXPECT_TRUE(UnpackFolders().empty());
    EXPECT_EQ(L"", Notes());
}

TEST_F(SingleFile, AChangedByteOrACutEndIsRefusedAndNothingIsWritten) {
    const std::string good = ReadBytes(kSingleFile);
    const std::vector<std::wstring> files = FilesIn(kPackage);
    const std::wstring last = files.back();  // unpacked last: the others are in the folder when it is found
    struct Change {
        const char* what;
        std::uint64_t at;
        std::string logged;
    };
    const std::string lastDigest = tarnex::HexDigest(DigestOf(ReadBytes(kPackage + last)));
    const Change changes[] = {
        {"a byte of the file unpacked last", offsets_[last] + ReadBytes(kPackage + last).size() / 2,
         "Single-file package: " + Narrow(last) + ": expected SHA-256 " + lastDigest},
        {"a byte of the first file", offsets_[files.front()] + 100,
         "Single-file package: " + Narrow(files.front()) + ": expected SHA-256 "},
        {"a byte of the index", offsets_[L""] + 2, "Single-file package: the index of the files"},
    };
    const auto expectRefused = [&](const std::string& bytes, const std::string& logged) {
        WriteBytes(kChangedFile, bytes);
        ::DeleteFileW(kLog.c_str());
        EXPECT_EQ(1620u, RunToEnd(kChangedFile, Quiet(L"")));  // ERROR_INSTALL_PACKAGE_INVALID
        const std::string log = Log();
        EXPECT_NE(std::string::npos, log.find(logged)) << log;
        EXPECT_NE(std::string::npos, log.find("Quiet run, message box: ")) << log;
        EXPECT_EQ(std::string::npos, log.find("Step 1")) << "the package's installer ran";
        ExpectNothingLeft();
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        std::string bytes = good;
        bytes[static_cast<std::size_t>(change.at)] ^= 0x20;
        expectRefused(bytes, change.logged);
    }
    // A download that stopped halfway: the payload's end is gone, and what
    // is left is no plain installer either.
    for (const std::uint64_t cut : {offsets_[files.front()] + 1, offsets_[L""] + 4}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        expectRefused(good.substr(0, static_cast<std::size_t>(cut)),
                      "carries bytes after its image that end in neither a seal nor a package");
    }
}

// Signed, the single file's signature covers what it carries: one byte
// changed there and the signature no longer matches, which is refused
// before anything is unpacked.
TEST_F(SingleFile, ASignedSingleFileWithAChangedByteIsRefusedBeforeItUnpacks) {
    const std::wstring signedFile = kRoot + L"VrelSigned.exe";
    ASSERT_TRUE(::CopyFileW(kSingleFile.c_str(), signedFile.c_str(), FALSE));
    pack::CodeSigner signer;
    std::wstring error;
    ASSERT_TRUE(signer.Load(TestProgramFolder() + L"signing_testdata\\signer.pfx", L"vrel-test", error)) << Narrow(error);
    ASSERT_TRUE(signer.Sign(signedFile, error)) << Narrow(error);

    const std::size_t logStart = testfiles::ReadUtf16(tarnex::LogPath()).size();
    EXPECT_EQ(1605u, RunToEnd(signedFile, Quiet(L" /u")));
    EXPECT_NE(std::wstring::npos, testfiles::ReadUtf16(tarnex::LogPath()).find(
                                      L"Package seal: the program's signature matches its bytes, signed by \"Vrel Test Signer\"", logStart));
    ExpectNothingLeft();

    std::string bytes = ReadBytes(signedFile);
    bytes[static_cast<std::size_t>(offsets_[L"Setup.inf"] + 10)] ^= 0x20;
    WriteBytes(signedFile, bytes);
    ::DeleteFileW(kLog.c_str());
    EXPECT_EQ(1620u, RunToEnd(signedFile, Quiet(L"")));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("does not match its bytes (0x80096010), signed by \"Vrel Test Signer\"")) << log;
    EXPECT_EQ(std::string::npos, log.find("unpacking into")) << log;
    ::DeleteFileW(signedFile.c_str());
    ExpectNothingLeft();
}

// With a person at the screen: the wizard of the package's installer shows
// from the single file, and a changed byte is told with the changed
// package's message; the folder goes after both.
TEST_F(SingleFile, ShowsTheWizardAndTellsAPersonOfAChangedByte) {
    {
        tarnex::uidriver::WizardRun single(kSingleFile, L"");
        ASSERT_TRUE(single.Started());
        EXPECT_EQ(tarnex::uidriver::Page::Folder, single.PageAfterWelcome());
        single.Cancel();
        const tarnex::uidriver::BoxContent leave = single.Box();
        single.Answer(leave, IDYES);
        std::string stuck;
        EXPECT_EQ(0, single.Exit(&stuck)) << stuck;
    }
    ExpectNothingLeft();

    std::string bytes = ReadBytes(kSingleFile);
    const std::wstring last = FilesIn(kPackage).back();
    bytes[static_cast<std::size_t>(offsets_[last] + 3)] ^= 0x01;
    WriteBytes(kChangedFile, bytes);
    tarnex::uidriver::WizardRun changed(kChangedFile, L"");
    const tarnex::uidriver::BoxContent box = changed.Box();
    EXPECT_NE(std::wstring::npos, box.Text.find(L"Пакет установки поврежден или изменен: файл " + last + L" не совпадает"))
        << Narrow(box.Text);
    changed.Answer(box, IDOK);
    EXPECT_EQ(0, changed.Exit());
    ExpectNothingLeft();
}

// The descriptor the unpacking asked CreateDirectoryW for, as bytes.
std::vector<BYTE>& AskedRights() {
    static std::vector<BYTE> rights;
    return rights;
}

BOOL WINAPI RecordingCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    AskedRights().clear();
    if (security != nullptr && security->lpSecurityDescriptor != nullptr) {
        const auto* bytes = static_cast<const BYTE*>(security->lpSecurityDescriptor);
        AskedRights().assign(bytes, bytes + ::GetSecurityDescriptorLength(security->lpSecurityDescriptor));
    }
    // The system's own, not the import the patch redirects to this function.
    using CreateDirectoryFn = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
    static const auto system = reinterpret_cast<CreateDirectoryFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateDirectoryW")));
    return system(path, security);
}

// Protected, and exactly the system and the administrators with full
// access (inherited by files and folders in it when it is a folder's).
void ExpectOnlySystemAndAdministrators(PSECURITY_DESCRIPTOR descriptor, bool folder) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
    if (folder) {
        EXPECT_NE(0, control & SE_DACL_PROTECTED);
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    std::vector<std::wstring> allowed;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, &ace));
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        ASSERT_EQ(ACCESS_ALLOWED_ACE_TYPE, header->AceType);
        const auto* allowedAce = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), allowedAce->Mask);
        if (folder) {
            EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, header->AceFlags & VALID_INHERIT_FLAGS);
        }
        wchar_t* sid = nullptr;
        ASSERT_TRUE(::ConvertSidToStringSidW(const_cast<DWORD*>(&allowedAce->SidStart), &sid));
        allowed.emplace_back(sid);
        ::LocalFree(sid);
    }
    std::sort(allowed.begin(), allowed.end());
    EXPECT_EQ((std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544"}), allowed);
}

// Whether this token, with the administrators' group made deny-only (a
// standard user's token, as an unelevated program of the user has it), may
// write into a folder of that descriptor.
bool StandardUserMayWrite(PSECURITY_DESCRIPTOR descriptor) {
    vrel::unique_handle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, own.put())) return true;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &administrators))
        return true;
    SID_AND_ATTRIBUTES disabled{administrators, 0};
    vrel::unique_handle restricted, impersonation;
    const bool made = ::CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 1, &disabled, 0, nullptr, 0, nullptr,
                                              restricted.put()) &&
                      ::DuplicateToken(restricted.get(), SecurityImpersonation, impersonation.put());
    ::FreeSid(administrators);
    if (!made) return true;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof privileges, granted = 0;
    BOOL status = FALSE;
    DWORD wanted = FILE_ADD_FILE | FILE_WRITE_DATA;
    ::MapGenericMask(&wanted, &mapping);
    if (!::AccessCheck(descriptor, impersonation.get(), wanted, &mapping, &privileges, &privilegesSize, &granted, &status))
        return true;
    return status != FALSE;
}

// The folder's access list: what the unpacking asks for when it makes the
// folder, a standard user's token held against it, and (where the file
// system keeps access lists) the folder and a file in it read back; noted
// and locked while it lives, gone with its note at its end.
TEST_F(SingleFile, TheUnpackingFolderLetsOnlyTheSystemAndTheAdministratorsIn) {
    std::wstring path;
    {
        tarnex::UnpackFolder folder;
        {
            testsupport::ImportPatch recording(nullptr, "kernel32.dll", "CreateDirectoryW", &RecordingCreateDirectory);
            ASSERT_TRUE(recording.Active());
            ASSERT_TRUE(folder.Create());
        }
        path = folder.Path();
        EXPECT_EQ(0u, path.find(tarnex::SystemTempFolder() + tarnex::kUnpackFolderPrefix)) << Narrow(path);
        ASSERT_FALSE(AskedRights().empty()) << "made without an access list";
        ExpectOnlySystemAndAdministrators(AskedRights().data(), true);
        EXPECT_FALSE(StandardUserMayWrite(AskedRights().data()));
        WriteBytes(path + L"Setup.exe", "unpacked");

        // Wine keeps no access list of a file (it shows one made from the
        // Unix permissions): the read-back runs where a folder made with
        // this descriptor gives it back.
        const std::wstring probe = kRoot + L"RightsProbe";
        SECURITY_ATTRIBUTES security{sizeof security, AskedRights().data(), FALSE};
        ASSERT_TRUE(::CreateDirectoryW(probe.c_str(), &security));
        PSECURITY_DESCRIPTOR probed = nullptr;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        const bool kept = ::GetNamedSecurityInfoW(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                                  nullptr, nullptr, nullptr, &probed) == ERROR_SUCCESS &&
                          ::GetSecurityDescriptorControl(probed, &control, &revision) && (control & SE_DACL_PROTECTED);
        ::LocalFree(probed);
        ::RemoveDirectoryW(probe.c_str());
        if (kept) {
            for (const std::wstring& object : {path, path + L"Setup.exe"}) {
                SCOPED_TRACE(Narrow(object));
                PSECURITY_DESCRIPTOR descriptor = nullptr;
                ASSERT_EQ(ERROR_SUCCESS, ::GetNamedSecurityInfoW(object.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                                 nullptr, nullptr, nullptr, nullptr, &descriptor));
                ExpectOnlySystemAndAdministrators(descriptor, object == path);
                EXPECT_FALSE(StandardUserMayWrite(descriptor));
                ::LocalFree(descriptor);
            }
        } else {
            std::printf("[  NOTE    ] this file system keeps no access lists: the folder's is not read back\n");
        }

        const std::wstring name = path.substr(tarnex::SystemTempFolder().size(), path.size() - tarnex::SystemTempFolder().size() - 1);
        EXPECT_EQ(name + L";", Notes());
        EXPECT_EQ(path, testsupport::TextOf(testsupport::ReadRegistryValue(HKEY_LOCAL_MACHINE, tarnex::kUnpackedFoldersKey,
                                                                         name.c_str(), KEY_WOW64_64KEY)));
        // Held: the run that cleans up after cut runs leaves it alone.
        tarnex::RemoveLeftUnpackFolders();
        EXPECT_TRUE(Exists(path + L"Setup.exe"));
    }
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(L"", Notes());
}

TEST_F(SingleFile, AFolderARunThatWasCutOffLeftIsRemovedByTheNextRun) {
    const std::wstring left = tarnex::SystemTempFolder() + L"Tarnex-0123456789abcdef\\";
    WriteBytes(left + L"Setup.exe", "left by a run that was ended");
    Note(L"Tarnex-0123456789abcdef", left);
    // A note that names no unpacking folder only goes itself.
    const std::wstring kept = kRoot + L"Kept\\";
    WriteBytes(kept + L"file.txt", "not the unpacking's");
    Note(L"..\\..\\VrelSingleFile\\Kept", kept);
    // A folder a run still holds stays.
    tarnex::UnpackFolder live;
    ASSERT_TRUE(live.Create());

    EXPECT_EQ(1605u, RunToEnd(kSingleFile, Quiet(L" /u")));
    EXPECT_FALSE(Exists(left));
    EXPECT_TRUE(Exists(kept + L"file.txt"));
    EXPECT_TRUE(Exists(live.Path()));
    const std::wstring liveName = live.Path().substr(tarnex::SystemTempFolder().size(),
                                                     live.Path().size() - tarnex::SystemTempFolder().size() - 1);
    EXPECT_EQ(liveName + L";", Notes());
    // Before the package's installer starts its /log= anew: in the Windows folder's log.
    EXPECT_NE(std::wstring::npos, testfiles::ReadUtf16(tarnex::LogPath()).find(L"Single-file package: removed the folder " + left));
    live.Remove();
    ExpectNothingLeft();
}

// Ended by force while it unpacks, as the task manager ends it: the folder
// and its note stay, the lock goes with the process, and the next run
// removes them.
TEST_F(SingleFile, AFolderOfARunEndedWhileItUnpackedIsRemovedByTheNextRun) {
    const std::wstring program = kRoot + L"VrelCut.exe";
    MakeSingleFile(program, 512ull << 20);
    const vrel::StartedProgram started =
        vrel::StartProgram(program, L"\"" + program + L"\" " + Quiet(L""), kRoot, 0, SW_SHOWNORMAL);
    ASSERT_TRUE(started);
    std::wstring folder;
    for (int i = 0; i < 6000 && folder.empty(); ++i) {
        for (const std::wstring& name : UnpackFolders())
            if (Exists(tarnex::SystemTempFolder() + name + L"\\large.bin")) folder = tarnex::SystemTempFolder() + name + L"\\";
        if (folder.empty()) ::Sleep(5);
    }
    ASSERT_FALSE(folder.empty()) << "no unpacking was seen";
    ASSERT_TRUE(::TerminateProcess(started.process.get(), 1));
    started.WaitForEnd();
    ASSERT_FALSE(Exists(folder + L"Setup.exe")) << "the cut came after the unpacking";
    EXPECT_TRUE(Exists(folder + L"large.bin"));
    EXPECT_NE(L"", Notes());

    EXPECT_EQ(1605u, RunToEnd(kSingleFile, Quiet(L" /u")));
    ::DeleteFileW(program.c_str());
    ExpectNothingLeft();
}

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// A restart of Windows that the package's run starts ends the single file
// too: told of the session's end while the package runs, whatever the run's
// own thread is busy with, it leaves its folder to the next start of
// Windows.
TEST_F(SingleFile, TheEndOfTheSessionWhileThePackageRunsLeavesTheFolderToTheNextStart) {
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, L"PendingFileRenameOperations");
    tarnex::UnpackFolder folder;
    ASSERT_TRUE(folder.Create());
    WriteBytes(folder.Path() + L"Setup.exe", "unpacked");
    {
        // This thread answers no messages meanwhile, as a quiet run's does not.
        const tarnex::SessionEndWatch watch(folder);
        HWND window = nullptr;
        for (int i = 0; i < 2000 && window == nullptr; ++i) {
            window = ::FindWindowExW(nullptr, nullptr, tarnex::kSessionEndWatchWindowClass, nullptr);
            if (window == nullptr) ::Sleep(5);
        }
        ASSERT_NE(nullptr, window) << "no window hears the session's end";
        EXPECT_FALSE(::IsWindowVisible(window));
        EXPECT_NE(::GetCurrentThreadId(), ::GetWindowThreadProcessId(window, nullptr));
        DWORD_PTR answer = 0;
        ASSERT_NE(0, ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer));
        EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), answer);
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 10000, &answer);
    }
    const testsupport::RegistryValue pending =
        testsupport::ReadRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, L"PendingFileRenameOperations");
    const std::wstring operations(reinterpret_cast<const wchar_t*>(pending.bytes.data()), pending.bytes.size() / sizeof(wchar_t));
    const std::wstring unpacked = L"\\??\\" + folder.Path() + L"Setup.exe";
    const std::wstring itself = L"\\??\\" + folder.Path().substr(0, folder.Path().size() - 1);
    EXPECT_NE(std::wstring::npos, operations.find(unpacked + std::wstring(2, L'\0'))) << Narrow(unpacked);
    EXPECT_NE(std::wstring::npos, operations.find(itself + std::wstring(2, L'\0'))) << Narrow(itself);
    EXPECT_LT(operations.find(unpacked), operations.find(itself + std::wstring(2, L'\0'))) << "the folder is deleted after the files in it";
    EXPECT_EQ(nullptr, ::FindWindowExW(nullptr, nullptr, tarnex::kSessionEndWatchWindowClass, nullptr));
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, L"PendingFileRenameOperations");
}

// The window of a long unpacking: nothing in its first moment, nothing
// ever without a person at the screen; then its Russian texts and how far
// it is, and Cancel ends the unpacking.
TEST_F(SingleFile, ALongUnpackingShowsHowFarItIsAndCancelEndsIt) {
    tarnex::UnpackProgress quiet(false, 1000);
    tarnex::UnpackProgress shown(true, 1000);
    EXPECT_TRUE(shown.Advance(1));
    EXPECT_EQ(nullptr, shown.Window()) << "shown before the unpacking went on for a moment";
    ::Sleep(tarnex::UnpackProgress::kShowAfterMs + 100);
    EXPECT_TRUE(quiet.Advance(500));
    EXPECT_EQ(nullptr, quiet.Window());
    EXPECT_TRUE(shown.Advance(500));
    const HWND window = shown.Window();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(::IsWindowVisible(window));
    const auto text = [](HWND control) {
        wchar_t buffer[256] = {};
        ::GetWindowTextW(control, buffer, 256);
        return std::wstring(buffer);
    };
    EXPECT_EQ(L"Программа установки", text(window));
    EXPECT_EQ(L"Распаковка пакета установки...", text(::GetDlgItem(window, IDC_UNPACK_TEXT)));
    EXPECT_EQ(L"Отмена", text(::GetDlgItem(window, IDCANCEL)));
    EXPECT_EQ(500, ::SendDlgItemMessageW(window, IDC_UNPACK_BAR, PBM_GETPOS, 0, 0));
    ::PostMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_FALSE(shown.Advance(600));
    EXPECT_TRUE(quiet.Advance(600));
}

// A gigabyte in the 32-bit program: the payload is read in pieces by their
// offsets, never mapped or held whole, so the program's memory stays small
// while the file is unpacked and checked.
TEST_F(SingleFile, UnpacksAGigabyteWithoutHoldingIt) {
    constexpr std::uint64_t kLarge = 1ull << 30;
    const std::wstring program = kRoot + L"VrelLarge.exe";
    MakeSingleFile(program, kLarge);
    PROCESS_MEMORY_COUNTERS before{};
    ASSERT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof before));
    {
        tarnex::PayloadUnpacker payload(program);
        ASSERT_TRUE(payload.Carried());
        std::wstring refused;
        ASSERT_TRUE(payload.CheckIndex(refused)) << Narrow(refused);
        tarnex::UnpackFolder folder;
        ASSERT_TRUE(folder.Create());
        tarnex::UnpackProgress quiet(false, payload.TotalSize());
        EXPECT_EQ(tarnex::UnpackEnd::Done, payload.UnpackInto(folder.Path(), quiet, refused)) << Narrow(refused);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(::GetFileAttributesExW((folder.Path() + L"large.bin").c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(kLarge, (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    }
    PROCESS_MEMORY_COUNTERS after{};
    ASSERT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof after));
    EXPECT_LT(after.PeakPagefileUsage, before.PeakPagefileUsage + (64u << 20)) << "the unpacking held the file";
    ::DeleteFileW(program.c_str());
    ExpectNothingLeft();
}

}  // namespace
