// The single-file package from the tool's side: the whole sealed package
// carried in one program after the installer's plain image, each file where
// the index says (unpacked by the payload's reader, the folder it gives
// verifies as a package), --verify naming a changed byte and holding the
// installer inside against the index, and signed: the signature covers the
// payload (osslsigncode checks it on the host, tarnex_pack_single_file_verify).
// A package too large for the form is refused from its parts' sizes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "authenticode.h"
#include "pack_tool.h"
#include "portable/package_seal.h"
#include "portable/sha256.h"
#include "portable/single_file_payload.h"
#include "single_file_layout.h"
#include "vrel/text_convert.h"

namespace enginetest {
namespace {

const std::wstring kSingle = std::wstring(kRoot) + L"Single.exe";
const std::wstring kUnpacked = std::wstring(kRoot) + L"Unpacked";

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

PackRun PackSingle(const std::wstring& options = L"") {
    WriteBytes(kManifest, Narrow(std::wstring(kPackageSection) + kComponents));
    return RunPack(L"--single-file " + options + Quoted(kManifest) + L" " + Quoted(kSingle));
}

// The payload as the installer's reader finds it in the program's bytes.
tarnex::Payload ReadPayload(const std::string& program) {
    tarnex::Payload payload;
    tarnex::ImageEnd end;
    tarnex::PayloadSpan span;
    EXPECT_TRUE(tarnex::FindImageEnd(std::string_view(program).substr(0, 4096), program.size(), end));
    const std::size_t contentEnd = static_cast<std::size_t>(end.contentEnd);
    EXPECT_TRUE(tarnex::FindPayloadSpan(std::string_view(program).substr(contentEnd - tarnex::kPayloadTail, tarnex::kPayloadTail),
                                        end.contentEnd, span));
    EXPECT_TRUE(tarnex::LayOutPayload(std::string_view(program).substr(static_cast<std::size_t>(span.indexOffset), span.indexLength),
                                      span, payload));
    return payload;
}

// Each file of the payload written into kUnpacked.
void Unpack(const std::string& program, const tarnex::Payload& payload) {
    RemoveTree(kUnpacked);
    for (std::size_t i = 0; i < payload.index.files.size(); ++i) {
        const tarnex::SealedFile& file = payload.index.files[i];
        WriteBytes(kUnpacked + L"\\" + file.name,
                   program.substr(static_cast<std::size_t>(payload.offsets[i]), static_cast<std::size_t>(file.size)));
    }
}

std::size_t OffsetIn(const tarnex::Payload& payload, const std::wstring& name) {
    for (std::size_t i = 0; i < payload.index.files.size(); ++i)
        if (payload.index.files[i].name == name) return static_cast<std::size_t>(payload.offsets[i] + payload.index.files[i].size / 2);
    ADD_FAILURE() << Narrow(name) << " is not in the payload";
    return 0;
}

struct CarriedFile {
    std::wstring name;
    std::string bytes;
};

// The files the payload carries, in the index's order.
std::vector<CarriedFile> FilesOf(const std::string& program, const tarnex::Payload& payload) {
    std::vector<CarriedFile> files;
    for (std::size_t i = 0; i < payload.index.files.size(); ++i)
        files.push_back({payload.index.files[i].name, program.substr(static_cast<std::size_t>(payload.offsets[i]),
                                                                     static_cast<std::size_t>(payload.index.files[i].size))});
    return files;
}

// A single file laid out as the packer lays one out: the plain program
// (padded to 8), the files in their order, the index made from their own
// bytes and naming the description described names. Every file holds
// against that index; only what the files say of each other can disagree.
std::string LayOutSingleFile(const std::string& image, const tarnex::PackageSeal& described,
                             const std::vector<CarriedFile>& files) {
    tarnex::PackageSeal index;
    index.description = described.description;
    index.installedDescription = described.installedDescription;
    std::string program = image;
    for (const CarriedFile& file : files) {
        tarnex::Sha256Stream hash;
        hash.Add(file.bytes.data(), file.bytes.size());
        index.files.push_back({file.name, file.bytes.size(), hash.Finish()});
        program += file.bytes;
        program.append(static_cast<std::size_t>(tarnex::PaddedSize(file.bytes.size()) - file.bytes.size()), '\0');
    }
    return program + tarnex::PayloadIndexBlock(index, image.size(), program.size());
}

bool LeftInTheTemporaryFolder(const wchar_t* pattern) {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    WIN32_FIND_DATAW found{};
    const vrel::unique_hfind find(::FindFirstFileW((std::wstring(temp) + pattern).c_str(), &found));
    return static_cast<bool>(find);
}

void PutInFolder(const std::wstring& folder, const std::string& bytes) {
    RemoveTree(folder);
    WriteBytes(folder + L"\\Single.exe", bytes);
}

TEST_F(EngineCycle, ASingleFileCarriesTheWholeSealedPackageAndVerifiesUntilAByteChanges) {
    LogInTheWindowsFolderWithSmallSources();
    PackRun run = PackSingle();
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    EXPECT_EQ(std::vector<std::wstring>{L"Single.exe"}, LeftBesideThePackage()) << "the package folder it was made from is left";

    // The plain installer first, its headers untouched; then the payload,
    // whose files are a package folder that verifies against its own seal.
    const std::string program = ReadBytes(kSingle);
    const std::string installer = ReadBytes(TestProgramFolder() + L"Tarnex.exe");
    ASSERT_GT(program.size(), installer.size());
    EXPECT_TRUE(program.compare(0, installer.size(), installer) == 0);
    const tarnex::Payload payload = ReadPayload(program);
    EXPECT_EQ(tarnex::PaddedSize(installer.size()), payload.offsets.at(0));
    EXPECT_EQ(L"Tarnex.inf", payload.index.description);
    ASSERT_NE(nullptr, payload.index.Find(L"Tarnex.exe"));
    ASSERT_NE(nullptr, payload.index.Find(L"user1.cab"));
    Unpack(program, payload);
    PackRun verify = RunPack(L"--verify " + Quoted(kUnpacked));
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    RemoveTree(kUnpacked);

    // The plain installer carries no package; the single file carries one.
    verify = RunPack(L"--verify " + Quoted(TestProgramFolder() + L"Tarnex.exe"));
    EXPECT_EQ(1u, verify.exitCode);
    EXPECT_NE(std::wstring::npos, verify.output.find(L"Tarnex.exe: carries no package")) << Narrow(verify.output);
    verify = RunPack(L"--verify " + Quoted(kSingle));
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    const std::wstring fileCount = std::to_wstring(payload.index.files.size());
    EXPECT_TRUE(ContainsInOrder(verify.output, {L"Single.exe: not signed", fileCount + L" of " + fileCount + L" files of the package hold",
                                                L"Tarnex.exe inside Single.exe: its seal names the index's description and its " +
                                                    std::to_wstring(payload.index.files.size() - 1) + L" files besides the installer",
                                                L"the package is as sealed"}))
        << Narrow(verify.output);

    // One byte of a cabinet inside: named, with the digest the index holds.
    std::string changed = program;
    changed[OffsetIn(payload, L"user1.cab")] ^= 0x20;
    WriteBytes(kSingle, changed);
    verify = RunPack(L"--verify " + Quoted(kSingle));
    EXPECT_EQ(1u, verify.exitCode);
    EXPECT_TRUE(ContainsInOrder(verify.output, {L"user1.cab: expected SHA-256 " +
                                                    vrel::ToWide(tarnex::HexDigest(payload.index.Find(L"user1.cab")->digest), CP_UTF8),
                                                L"the package differs from its seal"}))
        << Narrow(verify.output);

    // Single files whose every file holds against their index, but whose
    // installer inside would check another package: a cabinet that is not
    // the one it sealed, a file it does not seal; then its seal cut off.
    const std::string image = program.substr(0, static_cast<std::size_t>(payload.offsets.at(0)));
    const std::vector<CarriedFile> files = FilesOf(program, payload);
    std::vector<CarriedFile> disagreeing = files;
    for (CarriedFile& file : disagreeing)
        if (file.name == L"user2.cab") file.bytes += "x";
    disagreeing.push_back({L"extra.txt", "not sealed\r\n"});
    WriteBytes(kSingle, LayOutSingleFile(image, payload.index, disagreeing));
    verify = RunPack(L"--verify " + Quoted(kSingle));
    EXPECT_EQ(1u, verify.exitCode);
    const std::wstring moreFiles = std::to_wstring(disagreeing.size());
    EXPECT_TRUE(ContainsInOrder(verify.output, {moreFiles + L" of " + moreFiles + L" files of the package hold",
                                                L"user2.cab: the index holds SHA-256 ",
                                                L"the seal of Tarnex.exe inside Single.exe " +
                                                    vrel::ToWide(tarnex::HexDigest(payload.index.Find(L"user2.cab")->digest), CP_UTF8),
                                                L"extra.txt: in the index, not in the seal of Tarnex.exe inside Single.exe",
                                                L"the package differs from its seal"}))
        << Narrow(verify.output);
    std::vector<CarriedFile> cut = files;
    for (CarriedFile& file : cut)
        if (file.name == L"Tarnex.exe") file.bytes.resize(file.bytes.size() - tarnex::kSealTrailer);
    WriteBytes(kSingle, LayOutSingleFile(image, payload.index, cut));
    verify = RunPack(L"--verify " + Quoted(kSingle));
    EXPECT_EQ(1u, verify.exitCode);
    EXPECT_TRUE(ContainsInOrder(verify.output, {fileCount + L" of " + fileCount + L" files of the package hold",
                                                L"Tarnex.exe inside Single.exe: carries no seal",
                                                L"the package differs from its seal"}))
        << Narrow(verify.output);
    ::DeleteFileW(kSingle.c_str());

    // Signed: the program and the installer inside. The signature covers the
    // payload: one byte of it changed, the signature no longer matches.
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", L"vrel-test");
    run = PackSingle(L"--sign " + Quoted(TestProgramFolder() + L"signing_testdata\\signer.pfx") + L" ");
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", nullptr);
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    EXPECT_EQ(std::vector<std::wstring>{L"Single.exe"}, LeftBesideThePackage());
    verify = RunPack(L"--verify " + Quoted(kSingle));
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    EXPECT_TRUE(ContainsInOrder(verify.output, {L"Single.exe: signed by \"Vrel Test Signer\"",
                                                L"Tarnex.exe inside Single.exe: signed by \"Vrel Test Signer\", the signature matches its bytes"}))
        << Narrow(verify.output);
    EXPECT_FALSE(LeftInTheTemporaryFolder(L"tarnex-pack-verify-*")) << "the installer's copy checked is left";
    const std::string signedProgram = ReadBytes(kSingle);
    const tarnex::Payload signedPayload = ReadPayload(signedProgram);
    Unpack(signedProgram, signedPayload);
    verify = RunPack(L"--verify " + Quoted(kUnpacked));
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    EXPECT_NE(std::wstring::npos, verify.output.find(L"Tarnex.exe: signed by \"Vrel Test Signer\"")) << Narrow(verify.output);
    PutInFolder(TestProgramFolder() + L"signed_single", signedProgram);
    {
        // Signed in place, piece by piece, it is byte for byte what the
        // whole-file signing gives: the table appended, the entry and the
        // checksum made again.
        tarnex::ImageEnd end;
        ASSERT_TRUE(tarnex::FindImageEnd(std::string_view(signedProgram).substr(0, 4096), signedProgram.size(), end));
        ASSERT_TRUE(end.hasCertificates);
        const std::size_t tableAt = static_cast<std::size_t>(end.contentEnd);
        const auto read = [&](std::size_t at) {
            return static_cast<std::size_t>(static_cast<std::uint8_t>(signedProgram[at]) |
                                            static_cast<std::uint8_t>(signedProgram[at + 1]) << 8);
        };
        const std::size_t optional = read(0x3C) + 24;
        const std::size_t entry = optional + (read(optional) == 0x10B ? 96 : 112) + 4 * 8;
        std::string unsignedProgram = signedProgram.substr(0, tableAt);
        unsignedProgram.replace(entry, 8, std::string(8, '\0'));
        pack::authenticode::PeLayout layout;
        std::wstring why;
        ASSERT_TRUE(pack::authenticode::LayOut(unsignedProgram, layout, why)) << Narrow(why);
        EXPECT_TRUE(pack::authenticode::Attach(unsignedProgram, layout, signedProgram.substr(tableAt + 8)) == signedProgram);
    }

    // One byte of a file inside the signed single file changed: --verify
    // names it, in the order of the lines given.
    const auto expectChangedByteNamed = [&](const std::wstring& file, const std::vector<std::wstring>& lines) {
        changed = signedProgram;
        changed[OffsetIn(signedPayload, file)] ^= 0x01;
        WriteBytes(kSingle, changed);
        verify = RunPack(L"--verify " + Quoted(kSingle));
        EXPECT_EQ(1u, verify.exitCode);
        EXPECT_TRUE(ContainsInOrder(verify.output, lines)) << Narrow(verify.output);
    };
    expectChangedByteNamed(L"user2.cab", {L"Single.exe: the signature does not match the program's bytes (0x80096010)",
                                          L"user2.cab: expected SHA-256 "});
    PutInFolder(TestProgramFolder() + L"signed_single_changed", changed);
    // A byte of the installer inside: its own signature no longer matches
    // either.
    expectChangedByteNamed(L"Tarnex.exe", {L"Tarnex.exe: expected SHA-256 ",
                                           L"Tarnex.exe inside Single.exe: the signature does not match the program's bytes"});
    EXPECT_FALSE(LeftInTheTemporaryFolder(L"tarnex-pack-verify-*"));
    RemoveTree(kUnpacked);
    ::DeleteFileW(kSingle.c_str());
}

// The size check, at its edges: the file may reach the form's limit (less
// the signature's room when signed) and not a byte past it; a file of more
// than 4 GB counts whole.
TEST(SingleFileSize, APackageTooLargeForTheFormIsRefusedFromItsPartsSizes) {
    const std::uint64_t image = 1000001, index = 5003;
    pack::SingleFileLayout layout;
    ASSERT_TRUE(pack::LayOutSingleFile(image, {10, 3}, index, false, layout));
    EXPECT_EQ((std::vector<std::uint64_t>{1000008, 1000024}), layout.offsets);
    EXPECT_EQ(1000032u, layout.indexOffset);
    EXPECT_EQ(1000032u + tarnex::PaddedSize(index + tarnex::kPayloadTrailer), layout.end);

    // A last file that brings the end to the limit exactly, then 8 bytes on.
    const std::uint64_t rest = tarnex::kLargestSingleFile - 1000032 - tarnex::PaddedSize(index + tarnex::kPayloadTrailer);
    const std::uint64_t fitting = rest / 8 * 8;
    EXPECT_TRUE(pack::LayOutSingleFile(image, {10, 3, fitting}, index, false, layout));
    EXPECT_FALSE(pack::LayOutSingleFile(image, {10, 3, fitting + 1}, index, false, layout));
    EXPECT_FALSE(pack::LayOutSingleFile(image, {10, 3, fitting}, index, true, layout)) << "no room for the signature";
    EXPECT_TRUE(pack::LayOutSingleFile(image, {10, 3, fitting - pack::kSignatureAllowance}, index, true, layout));
    EXPECT_FALSE(pack::LayOutSingleFile(image, {(5ull << 30) + 8}, index, false, layout));
    EXPECT_GT(layout.end, 5ull << 30) << "the size in the message";
}

}  // namespace
}  // namespace enginetest
