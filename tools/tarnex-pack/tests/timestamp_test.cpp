// Time stamps on tarnex-pack's signatures, from the local RFC 3161 server
// that the timestamp_server fixture runs on the host (timestamp-server):
// servers named in the manifest and on the command line, one down before
// one that answers, and servers that are down, reject or stamp something
// else; a stamped single file. The stamped files are checked on the host by
// osslsigncode (tarnex_pack_timestamps_verify).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "pack_tool.h"

namespace enginetest {
namespace {

std::wstring ServerAddress(const wchar_t* portFile, const wchar_t* path) {
    const std::string port = ReadBytes(TestProgramFolder() + L"timestamp_server\\" + portFile);
    return L"http://127.0.0.1:" + std::wstring(port.begin(), port.end()) + path;
}

TEST_F(EngineCycle, SignaturesAreTimeStampedOnlyByAServerThatGrantsAStampOfThem) {
    ASSERT_FALSE(ReadBytes(TestProgramFolder() + L"timestamp_server\\port").empty()) << "the fixture's server runs";
    const std::wstring good = ServerAddress(L"port", L"/good"), dead = ServerAddress(L"dead-port", L"/");
    WriteSources();
    Source(L"big.bin", "not so big\r\n");
    std::wstring components = kComponents;
    const std::wstring busvault = L"File = Busvault.dll | Bin | selfreg\n";
    components.replace(components.find(busvault), busvault.size(), L"File = Busvault.dll | Bin | sign selfreg\n");
    const std::wstring servers = L"TimestampServer = " + dead + L"\nTimestampServer = " + good + L"\n";
    const std::wstring manifest = std::wstring(kPackageSection) + servers + components;
    const std::wstring sign = L"--sign \"" + TestProgramFolder() + L"signing_testdata\\signer.pfx\" ";
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", L"vrel-test");

    // The command line's servers stand for the manifest's: each that fails
    // fails the signing, with its reason, and leaves nothing behind.
    const struct {
        std::wstring server;
        const wchar_t* reason;
    } refused[] = {
        {dead, L"no connection"},
        {ServerAddress(L"port", L"/reject"), L"the server did not grant a time stamp: rejection (Message digest algorithm is not supported.)"},
        {ServerAddress(L"port", L"/wrong-imprint"), L"the token stamps another signature (its message imprint differs)"},
    };
    for (const auto& [server, reason] : refused) {
        const PackRun run = Pack(manifest, sign + L"--timestamp " + server + L" ");
        EXPECT_EQ(3u, run.exitCode) << Narrow(server);
        EXPECT_NE(std::wstring::npos, run.output.find(L"signing failed, no package was written")) << Narrow(run.output);
        EXPECT_NE(std::wstring::npos, run.output.find(server + L": " + reason)) << Narrow(run.output);
        EXPECT_EQ(std::vector<std::wstring>{}, LeftBesideThePackage());
    }

    // The manifest's servers: the first is down, the second stamps.
    const PackRun run = Pack(manifest, sign);
    ASSERT_EQ(0u, run.exitCode) << Narrow(run.output);
    const std::wstring out = TestProgramFolder() + L"stamped";
    RemoveTree(out);
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    EXPECT_TRUE(::CopyFileW((std::wstring(kPackage) + L"Tarnex.exe").c_str(), (out + L"\\Tarnex.exe").c_str(), FALSE));

    // A single file, stamped by the command line's server: its signature,
    // over the whole payload, still matches its bytes with the stamp in it.
    const std::wstring single = std::wstring(kRoot) + L"Stamped.exe";
    const PackRun singleRun =
        RunPack(L"--single-file " + sign + L"--timestamp " + good + L" \"" + kManifest + L"\" \"" + single + L"\"");
    ::SetEnvironmentVariableW(L"TARNEX_SIGN_PASSWORD", nullptr);
    ASSERT_EQ(0u, singleRun.exitCode) << Narrow(singleRun.output);
    const PackRun verify = RunPack(L"--verify \"" + single + L"\"");
    EXPECT_EQ(0u, verify.exitCode) << Narrow(verify.output);
    EXPECT_TRUE(ContainsInOrder(verify.output, {L"Stamped.exe: signed by \"Vrel Test Signer\", the signature matches its bytes",
                                                L"Tarnex.exe inside Stamped.exe: signed by \"Vrel Test Signer\""}))
        << Narrow(verify.output);
    EXPECT_TRUE(::MoveFileW(single.c_str(), (out + L"\\Stamped.exe").c_str()));

    // --timestamp without --sign is a mistake of the command line.
    EXPECT_EQ(1u, RunPack(L"--timestamp " + good + L" \"" + kManifest + L"\" \"" + kPackage + L"x\"").exitCode);
}

}  // namespace
}  // namespace enginetest
