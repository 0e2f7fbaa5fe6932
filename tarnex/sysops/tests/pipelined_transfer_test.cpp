// The transfer with its writer thread: trees of many small files and of a
// few files larger than all the writer's buffers come out byte for byte,
// with the cabinet's times; a cancel between files, while earlier files are
// still being written, leaves every output complete and closed and nothing
// written after the transfer has returned.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "services/app_context.h"
#include "sysops/cab_extractor.h"
#include "sysops_test_support.h"
#include "vrel/bounded_copy.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

// Every file of the source folder wanted into out under its own name, in
// the cabinet's order (the names sort as gcab stored them).
struct TreePackage {
    SetupDescription description;
    std::vector<std::wstring> names;
    TreePackage(const std::wstring& source, const std::wstring& out) : names(FilesIn(source)) {
        std::sort(names.begin(), names.end());
        description.ComponentList.resize(2);
        description.ComponentList[1].Selected = 1;
        for (const std::wstring& name : names) {
            FileRecord r;
            vrel::CopyToField(r.SourceName, std::wstring_view(name));
            vrel::CopyToField(r.TargetName, std::wstring_view(name));
            vrel::CopyToField(r.TargetFolder, std::wstring_view(out));
            description.FileList.push_back(r);
            description.ComponentList[1].Files.push_back(description.FileList.size() - 1);
        }
    }
    int Extracted() const {
        int n = 0;
        for (const FileRecord& r : description.FileList) n += r.Extracted;
        return n;
    }
};

class PipelinedTransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
    void SetUp() override { ClearLog(); }
};

}  // namespace

TEST_F(PipelinedTransferTest, ManySmallAndFewHugeFilesGiveByteIdenticalTrees) {
    const FILETIME stamp = CabinetTimeUtc(2021, 3, 4, 5, 6, 8);
    for (const wchar_t* set : {L"many", L"huge"}) {
        for (const wchar_t* coding : {L"stored", L"mszip"}) {
            const std::wstring label = std::wstring(set) + L"_" + coding;
            const std::wstring source = TestData() + set + L"\\";
            ScratchFolder out(L"tree_" + label);
            TreePackage p(source, out.Path());
            ASSERT_FALSE(p.names.empty());
            CabExtractor x(p.description);
            MessageRecorder messages;
            EXPECT_TRUE(x.ExtractCabinet(TestData() + label + L".cab"));
            EXPECT_FALSE(x.Cancelled());
            EXPECT_EQ(messages.Count(), 0u);
            EXPECT_EQ(p.Extracted(), static_cast<int>(p.names.size()));
            EXPECT_EQ(FilesIn(out.Path()).size(), p.names.size());
            int differing = 0, mistimed = 0;
            for (const std::wstring& name : p.names) {
                const std::wstring written = out / (L"vrel_" + name);
                if (ReadBytes(written) != ReadBytes(source + name)) ++differing;
                WIN32_FILE_ATTRIBUTE_DATA a{};
                if (!::GetFileAttributesExW(written.c_str(), GetFileExInfoStandard, &a) ||
                    ::CompareFileTime(&a.ftLastWriteTime, &stamp) != 0 || ::CompareFileTime(&a.ftCreationTime, &stamp) != 0)
                    ++mistimed;
            }
            EXPECT_EQ(differing, 0) << std::string(label.begin(), label.end());
            EXPECT_EQ(mistimed, 0) << std::string(label.begin(), label.end());
        }
    }
}

TEST_F(PipelinedTransferTest, ACancelBetweenFilesLeavesEveryOutputCompleteClosedAndNothingWrittenLater) {
    struct Case {
        const wchar_t* set;
        const wchar_t* cabinet;
        int goOn;  // files the user lets through before the cancel
    };
    for (const Case c : {Case{L"many", L"many_mszip.cab", 700}, Case{L"huge", L"huge_stored.cab", 1},
                         Case{L"huge", L"huge_mszip.cab", 2}}) {
        const std::wstring source = TestData() + c.set + L"\\";
        ScratchFolder out(L"cancel");
        TreePackage p(source, out.Path());
        CabExtractor x(p.description);
        MessageRecorder messages;
        x.RequestPause();  // every safe point hands over
        std::thread worker([&] { x.ExtractCabinet(TestData() + c.cabinet); });
        // The user-interface side: the worker stops after each file.
        for (int file = 1; file <= c.goOn; ++file) {
            if (::WaitForSingleObject(x.PauseReachedEvent(), 60000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "no safe point after file " << file;
                break;
            }
            if (file == c.goOn) {
                x.SetCancel();
                x.WithdrawPause();
            }
            x.ResumeFromPause();
        }
        worker.join();
        EXPECT_TRUE(x.Cancelled());
        EXPECT_EQ(messages.Count(), 0u);
        // Exactly the files before the cancel, each whole: what was still in
        // the writer's buffers was written before the transfer returned.
        EXPECT_EQ(p.Extracted(), c.goOn);
        const std::vector<std::wstring> written = FilesIn(out.Path());
        EXPECT_EQ(written.size(), static_cast<std::size_t>(c.goOn));
        for (int i = 0; i < c.goOn && i < static_cast<int>(p.names.size()); ++i)
            EXPECT_TRUE(ReadBytes(out / (L"vrel_" + p.names[i])) == ReadBytes(source + p.names[i]))
                << i;
        // Every output is closed (a handle still open would refuse the
        // deletion), and nothing comes back once the copies are gone: the
        // decoder and the thread that writes for it ended with the transfer.
        for (const std::wstring& name : written) EXPECT_TRUE(::DeleteFileW((out / name).c_str())) << ::GetLastError();
        EXPECT_FALSE(x.DecoderOpen());
        EXPECT_TRUE(FilesIn(out.Path()).empty());
    }
}
