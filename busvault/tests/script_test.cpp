// The samples under busvault/samples run by Wine's own cscript.exe (the one
// of this build's bitness: SysWOW64's for the 32-bit build) against the
// simulated gauge on a real serial line, the server registered as an
// installer registers it. Every reply a script prints is compared byte for
// byte with what a C++ client gets through IBusvaultStore for the same
// request on the same line.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "busvault.h"
#include "gauge/gauge_control.h"
#include "gauge/gauge_replies.h"
#include "vrel/com_apartment.h"
#include "vrel/com_ptr.h"
#include "vrel/unique_handle.h"

namespace {

using vrel::ComPtr;
using Bytes = std::vector<BYTE>;

using gauge::kAddress;


Bytes ParseHex(const std::string& text) {
    Bytes bytes;
    std::istringstream in(text);
    for (std::string pair; in >> pair;) bytes.push_back(static_cast<BYTE>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

// What a sample printed for one packet.
struct Packet {
    unsigned code = 0;
    std::string status;
    Bytes request, reply;
    unsigned written = 0, read = 0, attempts = 0;
    int portState = -1;
};

struct ScriptRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
    std::vector<Packet> packets;
    std::vector<std::string> errors;  // "error ..." lines
    std::string again;                // the "again as text" line
};

// The value after `label` on a line, up to the next blank or comma.
unsigned After(const std::string& line, const std::string& label) {
    const std::size_t at = line.find(label);
    return at == std::string::npos ? 0xFFFFFFFF : static_cast<unsigned>(std::stoul(line.substr(at + label.size())));
}

void Parse(ScriptRun& run) {
    std::istringstream in(run.output);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("packet ", 0) == 0) {
            Packet packet;
            packet.code = static_cast<unsigned>(std::stoul(line.substr(7, 2), nullptr, 16));
            packet.status = line.substr(line.find("status ") + 7);
            run.packets.push_back(packet);
        } else if (run.packets.empty()) {
            continue;
        } else if (line.rfind("  request:", 0) == 0) {
            run.packets.back().request = ParseHex(line.substr(10));
        } else if (line.rfind("  reply:", 0) == 0) {
            run.packets.back().reply = ParseHex(line.substr(8));
        } else if (line.rfind("  statistics:", 0) == 0) {
            run.packets.back().written = After(line, "written ");
            run.packets.back().read = After(line, "read ");
            run.packets.back().attempts = After(line, "attempts ");
        } else if (line.rfind("  port state:", 0) == 0) {
            run.packets.back().portState = static_cast<int>(After(line, "port state: "));
        } else if (line.rfind("error ", 0) == 0) {
            run.errors.push_back(line);
        } else if (line.rfind("again as text:", 0) == 0) {
            run.again = line;
        }
    }
}

class ScriptSamples : public ::testing::Test {
protected:
    void SetUp() override {
        port = gauge::FixtureValue("BUSVAULT_TEST_PORT");
        const std::string gaugeBase = gauge::FixtureValue("BUSVAULT_TEST_GAUGE");
        samples = gauge::FixtureValue("BUSVAULT_SAMPLES");
        ASSERT_FALSE(port.empty() || gaugeBase.empty() || samples.empty())
            << "run through CTest: the serial_lines fixture sets the line up";
        gauge = std::make_unique<gauge::GaugeControl>(gaugeBase);
        ASSERT_TRUE(module) << ::GetLastError();
        auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllRegisterServer")));
        ASSERT_EQ(registerServer(), S_OK);
    }
    void TearDown() override {
        auto unregisterServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllUnregisterServer")));
        ASSERT_TRUE(unregisterServer);
        EXPECT_EQ(unregisterServer(), S_OK);
    }

    // Runs a sample with the script host of this build's bitness; its output
    // goes through a file, which Wine's helper processes cannot hold open.
    ScriptRun Run(const std::string& sample, const std::string& arguments) {
        ScriptRun run;
        char folder[MAX_PATH] = {};
        // A 32-bit server serves 32-bit clients: the 32-bit script host
        // lives in SysWOW64 on a 64-bit Windows.
        if (sizeof(void*) == 8 || !::GetSystemWow64DirectoryA(folder, MAX_PATH)) {
            ::GetSystemDirectoryA(folder, MAX_PATH);
        }
        char temp[MAX_PATH] = {}, outputPath[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        ::GetTempFileNameA(temp, "bvs", 0, outputPath);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        vrel::unique_hfile output(::CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_TEMPORARY, nullptr));
        EXPECT_TRUE(output);
        std::string command = "\"" + std::string(folder) + "\\cscript.exe\" //nologo \"" +
                              gauge::HostPath(samples + "/" + sample) + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        PROCESS_INFORMATION process{};
        EXPECT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                     nullptr, &startup, &process))
            << command << ": " << ::GetLastError();
        output.reset();
        if (process.hProcess) {
            vrel::unique_handle owned(process.hProcess), thread(process.hThread);
            EXPECT_EQ(::WaitForSingleObject(owned.get(), 120000), WAIT_OBJECT_0) << command;
            ::GetExitCodeProcess(owned.get(), &run.exitCode);
        }
        std::ifstream in(outputPath, std::ios::binary);
        run.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        in.close();
        ::DeleteFileA(outputPath);
        Parse(run);
        return run;
    }

    // The C++ client's reply to the same request on the same line, with one
    // attempt and time enough that no late reply is left for the next one.
    Bytes CppReply(const Bytes& request) {
        ComPtr<IBusvaultStore> store;
        EXPECT_EQ(::CoCreateInstance(CLSID_BusvaultStore, nullptr, CLSCTX_INPROC_SERVER, IID_IBusvaultStore,
                                     store.put_void()),
                  S_OK);
        if (!store) return {};
        DWORD handle = 0;
        ComPtr<IBusvaultLinkSetup> setup;
        EXPECT_EQ(store->CreateLink(BUSVAULT_KIND_SERIAL, IID_IBusvaultLinkSetup, &handle, setup.put_void()), S_OK);
        ComPtr<IBusvaultLink> link;
        if (!setup || setup->QueryInterface(IID_IBusvaultLink, link.put_void()) != S_OK) return {};
        EXPECT_EQ(setup->OpenPort(port.c_str()), S_OK);
        EXPECT_EQ(setup->BuildState("9600,n,8,1"), S_OK);
        EXPECT_EQ(link->SetTimeouts(2000, 100), S_OK);
        EXPECT_EQ(store->SetAttempts(handle, 1), S_OK);
        Bytes req = request, reply(1024);
        DWORD requestLength = static_cast<DWORD>(req.size()), replyLength = static_cast<DWORD>(reply.size());
        EXPECT_EQ(store->Exchange(handle, req.data(), reply.data(), &requestLength, &replyLength, nullptr),
                  BUSVAULT_STATUS_OK);
        reply.resize(replyLength <= reply.size() ? replyLength : 0);
        // The store owns its links: their interfaces go before the link does.
        link.reset();
        setup.reset();
        EXPECT_EQ(store->DeleteLink(handle), S_OK);
        return reply;
    }

    // Both samples: the VBScript one unaddressed, the JScript one addressed
    // to the gauge, so that both frame builders are checked.
    struct Sample {
        const char* file;
        bool addressed;
    };
    static constexpr Sample kSamples[] = {{"read-gauge.vbs", false}, {"read-gauge.js", true}};

    std::string Arguments(const Sample& sample) const {
        return port + (sample.addressed ? " " + std::to_string(kAddress) : "");
    }

    static void ExpectMistakesReported(const ScriptRun& run) {
        ASSERT_EQ(run.errors.size(), 2u) << run.output;
        EXPECT_EQ(run.errors[0],
                  "error 80070006: There is no link with handle 254: handles come from CreateLink and stay valid "
                  "until DeleteLink.");
        EXPECT_EQ(run.errors[1].rfind("error 80070057: The request must be an array of bytes, an array of whole "
                                      "numbers from 0 to 255, or hexadecimal text such as \"16 16 02\"; it is ",
                                      0),
                  0u)
            << run.errors[1];
    }

    vrel::ComApartment apartment;
    vrel::unique_hmodule module{::LoadLibraryW(L"Busvault.dll")};
    std::string port, samples;
    std::unique_ptr<gauge::GaugeControl> gauge;
};

TEST_F(ScriptSamples, BothSamplesReadEveryPacketAsTheCppClientReadsIt) {
    ASSERT_TRUE(gauge->Set("answer"));
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        const ScriptRun run = Run(sample.file, Arguments(sample));
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        ASSERT_EQ(run.packets.size(), 7u) << run.output;
        for (std::size_t i = 0; i < run.packets.size(); ++i) {
            const Packet& packet = run.packets[i];
            SCOPED_TRACE(testing::Message() << "packet " << packet.code);
            EXPECT_EQ(packet.code, gauge::kPacketCodes[i]);
            EXPECT_EQ(packet.status, "FFFF0000");
            EXPECT_EQ(packet.request, gauge::RequestFrame(gauge::kPacketCodes[i], sample.addressed, kAddress));
            EXPECT_EQ(packet.reply, gauge::ReplyFrame(gauge::kPacketCodes[i], sample.addressed, kAddress));
            EXPECT_EQ(packet.reply, CppReply(packet.request));
            EXPECT_EQ(packet.written, packet.request.size());
            EXPECT_EQ(packet.read, packet.reply.size());
            EXPECT_EQ(packet.attempts, 1u);
            EXPECT_EQ(packet.portState, static_cast<int>(BUSVAULT_PORT_READY));
        }
        ExpectMistakesReported(run);
        // After the mistakes the same link still works, with a hexadecimal request.
        std::ostringstream firstReply;
        for (std::size_t i = 0; i < run.packets[0].reply.size(); ++i)
            firstReply << (i ? " " : "") << std::uppercase << std::hex << (run.packets[0].reply[i] < 16 ? "0" : "")
                       << int(run.packets[0].reply[i]);
        EXPECT_EQ(run.again, "again as text: status FFFF0000, reply " + firstReply.str());
        EXPECT_NE(run.output.find("the gauge answers"), std::string::npos);
        if (HasFailure()) ADD_FAILURE() << "the script printed:\n" << run.output;
    }
}

TEST_F(ScriptSamples, ASilentGaugeGivesTheNoReplyStatusAfterThreeReadsAndOneWrite) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        ASSERT_TRUE(gauge->Set("silent"));
        const ScriptRun run = Run(sample.file, Arguments(sample));
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        ASSERT_EQ(run.packets.size(), 7u) << run.output;
        for (const Packet& packet : run.packets) {
            SCOPED_TRACE(testing::Message() << "packet " << packet.code);
            EXPECT_EQ(packet.status, "FFFF0002");
            EXPECT_TRUE(packet.reply.empty());
            EXPECT_EQ(packet.written, packet.request.size());
            EXPECT_EQ(packet.read, 0u);
            EXPECT_EQ(packet.attempts, 3u);
            EXPECT_EQ(packet.portState, static_cast<int>(BUSVAULT_PORT_READ_TIMEOUT));
        }
        ExpectMistakesReported(run);
        EXPECT_EQ(run.again, "again as text: status FFFF0002, reply ");
        EXPECT_EQ(run.output.find("the gauge answers"), std::string::npos);
        // One write per exchange: seven packets and the request as text.
        EXPECT_EQ(gauge->Requests(8), 8);
        if (HasFailure()) ADD_FAILURE() << "the script printed:\n" << run.output;
    }
}

}  // namespace
