// The cabinet decoder over libmspack on its own: gcab's stored and MSZIP
// cabinets, libmspack's LZX, Quantum and multi-cabinet test sets against
// cabextract's output, corrupt cabinets, and the handler's answers.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <iostream>
#include <map>

#include "description/file_sha256.h"
#include "sysops/cab_decoder.h"
#include "sysops/folder_stream.h"
#include "sysops/pipelined_writer.h"
#include "vrel/file_digest.h"
#include "vrel/unique_handle.h"
#include "sysops_test_support.h"
#include "vrel/text_convert.h"

using namespace tarnex;
using namespace sysops_test;

namespace {

struct Seen {
    std::vector<std::string> events;  // "info", "copy:NAME", "close:NAME", "next:NAME", "partial:NAME"
    std::map<std::string, std::pair<std::uint16_t, std::uint16_t>> stamps;
};

// Extracts every file into folder, names flattened ("sub\a" -> "sub_a").
struct Extraction {
    CabError error;
    bool ok = false;
    Seen seen;
};

// With a decoder given, through it; during the copy, during(cabinet) runs
// at each file.
Extraction Extract(const std::wstring& cabinet, const std::wstring& folder, CabDecoder* given = nullptr,
                   const std::function<void()>& during = {}) {
    Extraction x;
    std::unique_ptr<CabDecoder> own = given != nullptr ? nullptr : CabDecoder::Create(x.error);
    CabDecoder* decoder = given != nullptr ? given : own.get();
    EXPECT_TRUE(decoder != nullptr);
    if (decoder == nullptr) return x;
    const std::size_t slash = cabinet.rfind(L'\\');
    const std::string dir = vrel::ToNarrow(cabinet.substr(0, slash + 1));
    const std::string name = vrel::ToNarrow(cabinet.substr(slash + 1));
    x.ok = decoder->Copy(name, dir, [&](CabNotification kind, CabNotice& n) -> std::intptr_t {
        const std::string fileName = n.name ? n.name : "";
        switch (kind) {
        case CabNotification::CabinetInfo:
            x.seen.events.push_back("info");
            return 0;
        case CabNotification::NextCabinet:
            x.seen.events.push_back("next:" + fileName);
            return 1;
        case CabNotification::PartialFile:
            x.seen.events.push_back("partial:" + fileName);
            return 1;
        case CabNotification::CopyFile: {
            if (during) during();
            x.seen.events.push_back("copy:" + fileName);
            x.seen.stamps[fileName] = {n.dosDate, n.dosTime};
            std::wstring flat = vrel::ToWide(fileName);
            // Damaged cabinets carry any bytes in their names: keep them flat.
            for (wchar_t& c : flat)
                if (c == L'\\' || c == L'/' || c == L':' || c < 32) c = L'_';
            n.output.reset(::CreateFileW((folder + flat).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            return n.output ? 1 : -1;
        }
        case CabNotification::CloseFileInfo:
            x.seen.events.push_back("close:" + fileName);
            return 1;
        }
        return 0;
    });
    return x;
}

constexpr std::uint16_t kDate20210304 = (41 << 9) | (3 << 5) | 4;
constexpr std::uint16_t kTime050608 = (5 << 11) | (6 << 5) | 4;

class CabDecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTestApp(); }
};

}  // namespace

TEST_F(CabDecoderTest, GcabStoredAndMszipCabinetsDecodeByteForByte) {
    for (const wchar_t* cab : {L"stored.cab", L"mszip.cab"}) {
        ScratchFolder out(std::wstring(L"decode_") + cab);
        const Extraction x = Extract(TestData() + cab, out.Path());
        ASSERT_TRUE(x.ok) << "operation " << x.error.operation << " type " << x.error.type;
        EXPECT_FALSE(x.error.failed);
        const std::vector<std::string> expected = {"info",
                                                   "copy:alpha.txt", "close:alpha.txt",
                                                   "copy:Beta.txt", "close:Beta.txt",
                                                   "copy:zeros.bin", "close:zeros.bin",
                                                   "copy:numbers.txt", "close:numbers.txt",
                                                   "copy:sub\\inner.txt", "close:sub\\inner.txt",
                                                   "copy:97_db.mdb", "close:97_db.mdb",
                                                   "copy:2000_db.mdb", "close:2000_db.mdb"};
        EXPECT_EQ(x.seen.events, expected);
        for (const wchar_t* name : {L"alpha.txt", L"Beta.txt", L"zeros.bin", L"numbers.txt", L"97_db.mdb"})
            EXPECT_EQ(ReadBytes(out / name), ReadBytes(TestData() + L"src\\" + name)) << name;
        EXPECT_EQ(ReadBytes(out / L"sub_inner.txt"), ReadBytes(TestData() + L"src\\sub\\inner.txt"));
        EXPECT_EQ(x.seen.stamps.at("alpha.txt"), std::make_pair(kDate20210304, kTime050608));
        const std::uint16_t date2019 = (39 << 9) | (11 << 5) | 12, time131416 = (13 << 11) | (14 << 5) | 8;
        EXPECT_EQ(x.seen.stamps.at("numbers.txt"), std::make_pair(date2019, time131416));
    }
}

TEST_F(CabDecoderTest, LibmspackTestCabinetsMatchCabextract) {
    const std::vector<std::pair<std::wstring, std::wstring>> sets = {
        {L"mszip_lzx_qtm.cab", L"mszip_lzx_qtm"},           // MSZIP, LZX and Quantum folders
        {L"normal_2files_1folder.cab", L"normal_2files_1folder"},
        {L"normal_2files_2folders.cab", L"normal_2files_2folders"},
        {L"normal_255c_filename.cab", L"normal_255c_filename"},
        {L"reserve_HFD.cab", L"reserve_HFD"},
        {L"cabd_multi_basic_pt1.cab", L"multi_basic"},       // a set of five cabinets
    };
    for (const auto& [cab, expected] : sets) {
        ScratchFolder out(L"mspack_" + expected);
        const Extraction x = Extract(TestData() + L"mspack\\" + cab, out.Path());
        ASSERT_TRUE(x.ok) << vrel::ToNarrow(cab) << ": operation " << x.error.operation << " type " << x.error.type;
        const std::wstring reference = TestData() + L"expected\\" + expected + L"\\";
        const std::vector<std::wstring> names = FilesIn(reference);
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(FilesIn(out.Path()).size(), names.size()) << vrel::ToNarrow(cab);
        for (const std::wstring& name : names)
            EXPECT_EQ(ReadBytes(out / name), ReadBytes(reference + name)) << vrel::ToNarrow(cab + L": " + name);
    }
    ScratchFolder out(L"mspack_set_events");
    const Extraction set = Extract(TestData() + L"mspack\\cabd_multi_basic_pt1.cab", out.Path());
    const auto nexts = std::count_if(set.seen.events.begin(), set.seen.events.end(),
                                     [](const std::string& e) { return e.rfind("next:", 0) == 0; });
    EXPECT_EQ(nexts, 4);
}

// The digests a copy gives are those of the whole cabinets it read, over
// stored, MSZIP, LZX and Quantum folders, reserved fields and a set of
// cabinets; a copy that wants no file still hashes all. While it runs, a
// cabinet cannot be written, renamed or replaced.
TEST_F(CabDecoderTest, ACopyHashesTheWholeCabinetsItReadAndHoldsThemWhileItReads) {
    CabError error;
    auto decoder = CabDecoder::Create(error);
    ASSERT_TRUE(decoder);
    for (const wchar_t* cab : {L"stored.cab", L"mszip.cab", L"mspack\\mszip_lzx_qtm.cab", L"mspack\\reserve_HFD.cab",
                               L"mspack\\cabd_multi_basic_pt1.cab"}) {
        const std::wstring path = TestData() + cab;
        ScratchFolder out(L"digest_" + std::wstring(cab).substr(std::wstring(cab).rfind(L'\\') + 1));
        int refusedChanges = 0;
        const Extraction x = Extract(path, out.Path(), decoder.get(), [&] {
            vrel::unique_hfile writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
            const bool moved = ::MoveFileW(path.c_str(), (path + L".moved").c_str()) != FALSE;
            if (moved) ::MoveFileW((path + L".moved").c_str(), path.c_str());
            if (!writer && !moved) ++refusedChanges;
        });
        ASSERT_TRUE(x.ok) << vrel::ToNarrow(cab);
        EXPECT_GT(refusedChanges, 0) << vrel::ToNarrow(cab);
        const std::vector<CabinetDigests::Cabinet> cabinets = decoder->FinishDigests();
        ASSERT_FALSE(cabinets.empty());
        EXPECT_EQ(vrel::ToWide(cabinets[0].path, CP_UTF8), path);
        for (const CabinetDigests::Cabinet& cabinet : cabinets) {
            std::uint64_t size = 0;
            std::array<std::uint8_t, 32> digest{};
            ASSERT_TRUE(vrel::DigestFile(vrel::ToWide(cabinet.path, CP_UTF8), size, digest)) << cabinet.path;
            EXPECT_TRUE(cabinet.readable) << cabinet.path;
            EXPECT_EQ(cabinet.size, size) << cabinet.path;
            EXPECT_TRUE(cabinet.digest == digest) << cabinet.path;
            // The pass of its own that checks cabinets before a program starts.
            std::array<std::uint8_t, 32> ownPass{};
            ASSERT_TRUE(Sha256OfFile(vrel::ToWide(cabinet.path, CP_UTF8), size, ownPass));
            EXPECT_TRUE(ownPass == digest && size == cabinet.size) << cabinet.path;
        }
    }
    ASSERT_TRUE(decoder->Copy("mszip.cab", vrel::ToNarrow(TestData()),
                              [](CabNotification, CabNotice&) -> std::intptr_t { return 0; }));  // no file wanted
    const std::vector<CabinetDigests::Cabinet> skipped = decoder->FinishDigests();
    std::uint64_t size = 0;
    std::array<std::uint8_t, 32> digest{};
    std::array<std::uint8_t, 32> ownPass{};
    std::uint64_t ownSize = 0;  // over many reading pieces
    ASSERT_TRUE(vrel::DigestFile(TestData() + L"huge_stored.cab", size, digest));
    ASSERT_TRUE(Sha256OfFile(TestData() + L"huge_stored.cab", ownSize, ownPass));
    EXPECT_TRUE(ownPass == digest && ownSize == size);
    ASSERT_TRUE(vrel::DigestFile(TestData() + L"mszip.cab", size, digest));
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_TRUE(skipped[0].readable && skipped[0].size == size && skipped[0].digest == digest);
    decoder->HashCabinets(false);
    ASSERT_TRUE(decoder->Copy("stored.cab", vrel::ToNarrow(TestData()),
                              [](CabNotification, CabNotice&) -> std::intptr_t { return 0; }));
    EXPECT_TRUE(decoder->FinishDigests().empty());
}

TEST_F(CabDecoderTest, ACabinetContinuedFromAnEarlierOneReportsPartialFiles) {
    ScratchFolder out(L"mspack_partial");
    const Extraction x = Extract(TestData() + L"mspack\\cabd_multi_basic_pt2.cab", out.Path());
    const auto partials = std::count_if(x.seen.events.begin(), x.seen.events.end(),
                                        [](const std::string& e) { return e.rfind("partial:", 0) == 0; });
    EXPECT_GE(partials, 1) << ::testing::PrintToString(x.seen.events) << " ok " << x.ok;
}

TEST_F(CabDecoderTest, CorruptCabinetsFailWithTheErrorFlagAndNeverCrash) {
    const std::wstring folder = TestData() + L"mspack\\";
    int failures = 0, total = 0;
    for (const std::wstring& name : FilesIn(folder)) {
        const bool corrupt = name.rfind(L"bad_", 0) == 0 || name.rfind(L"partial_", 0) == 0 ||
                             name.rfind(L"cve-", 0) == 0 || name.rfind(L"lzx-", 0) == 0 ||
                             name.rfind(L"filename-read-violation", 0) == 0;
        if (!corrupt) continue;
        ++total;
        ScratchFolder out(L"corrupt");
        const Extraction x = Extract(folder + name, out.Path());
        if (!x.ok) {
            ++failures;
            EXPECT_TRUE(x.error.failed) << vrel::ToNarrow(name);
        }
    }
    EXPECT_GE(total, 30);
    // Some damaged cabinets still hold decodable files; the clearly broken
    // headers and data always fail.
    EXPECT_GE(failures, 20);
    for (const wchar_t* name : {L"bad_signature.cab", L"bad_nofolders.cab", L"partial_shortheader.cab",
                                L"partial_nodata.cab", L"cve-2015-4471-lzx-under-read.cab"}) {
        ScratchFolder out(L"corrupt_named");
        const Extraction x = Extract(folder + name, out.Path());
        EXPECT_FALSE(x.ok) << vrel::ToNarrow(name);
        EXPECT_TRUE(x.error.failed) << vrel::ToNarrow(name);
    }
}

// An MSZIP folder is decoded ahead on a thread of its own: a broken block
// that the decoding has reached while the caller was busy fails only a file
// that needs it. Pieces of the folder of huge_mszip.cab stand for files:
// the first megabyte, a pause (the decoding runs 16 blocks ahead), then the
// next 100 KiB, which ends four blocks before the broken one.
TEST_F(CabDecoderTest, ABlockBrokenAheadFailsOnlyAFileThatNeedsIt) {
    const std::string original = ReadBytes(TestData() + L"huge\\h1.bin");
    std::string cabinet = ReadBytes(TestData() + L"huge_mszip.cab");
    const auto le = [&cabinet](std::size_t at, int bytes) {
        std::size_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(cabinet[at + i]);
        return value;
    };
    // gcab's cabinet: one folder, no reserved bytes, the folder's record
    // after the 36-byte header.
    ASSERT_EQ(le(30, 2) & 4, 0u);
    const std::size_t first = 1 << 20, second = 100 << 10, broken = (first + second) / 32768 + 4;
    ASSERT_GT(original.size(), (broken + 1) * 32768);
    std::size_t at = le(36, 4);
    for (std::size_t block = 0; block < broken; ++block) at += 8 + le(at + 4, 2);
    cabinet[at + 20] ^= 0x5A;  // its checksum no longer matches
    ScratchFolder work(L"broken_ahead");
    WriteBytes(work / L"ahead.cab", cabinet);

    const std::string path = vrel::ToNarrow(work / L"ahead.cab");
    const VrelFolderData data{path.c_str(), static_cast<long long>(le(36, 4)), 0};
    const unsigned blocks = static_cast<unsigned>(le(40, 2));
    const int key = 0;
    PipelinedWriter writer;
    CabinetDigests digests;
    FolderStream stream(digests);
    const auto extract = [&](const std::wstring& name, std::size_t offset, std::size_t length) {
        vrel::unique_hfile output(::CreateFileW((work / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        const int result = stream.Extract(&key, FolderCoding::Mszip, data, blocks, static_cast<std::uint32_t>(offset),
                                          static_cast<std::uint32_t>(length), output.get(), writer);
        writer.Close(std::move(output), nullptr);
        writer.Drain();
        return result;
    };
    EXPECT_EQ(extract(L"a.bin", 0, first), 0);
    ::Sleep(300);
    EXPECT_EQ(extract(L"b.bin", first, second), 0);
    EXPECT_NE(extract(L"c.bin", first + second, 10 * 32768), 0);
    EXPECT_TRUE(original.substr(0, first) == ReadBytes(work / L"a.bin"));
    EXPECT_TRUE(original.substr(first, second) == ReadBytes(work / L"b.bin"));
    // The next file starts the folder again.
    EXPECT_EQ(extract(L"d.bin", 0, 4096), 0);
    EXPECT_TRUE(original.substr(0, 4096) == ReadBytes(work / L"d.bin"));
}

TEST_F(CabDecoderTest, TheHandlerDecidesWhatIsWrittenAndCanStop) {
    CabError error;
    auto decoder = CabDecoder::Create(error);
    ASSERT_TRUE(decoder);
    const std::string dir = vrel::ToNarrow(TestData());
    int copies = 0;
    EXPECT_TRUE(decoder->Copy("stored.cab", dir, [&](CabNotification kind, CabNotice&) -> std::intptr_t {
        if (kind == CabNotification::CopyFile) ++copies;
        return kind == CabNotification::CopyFile ? 0 : 1;  // skip every file
    }));
    EXPECT_EQ(copies, 7);
    EXPECT_FALSE(error.failed);

    copies = 0;
    EXPECT_FALSE(decoder->Copy("mszip.cab", dir, [&](CabNotification kind, CabNotice&) -> std::intptr_t {
        if (kind != CabNotification::CopyFile) return 1;
        return ++copies == 2 ? -1 : 0;  // stop at the second file
    }));
    EXPECT_EQ(copies, 2);
    EXPECT_TRUE(error.failed);
    EXPECT_EQ(error.operation, kCabHandlerStop);

    EXPECT_FALSE(decoder->Copy("no_such.cab", dir, [](CabNotification, CabNotice&) -> std::intptr_t { return 0; }));
    EXPECT_TRUE(error.failed);
    EXPECT_EQ(error.operation, kCabOpen);

    // The same context decodes again after failures.
    EXPECT_TRUE(decoder->Copy("stored.cab", dir, [](CabNotification, CabNotice&) -> std::intptr_t { return 0; }));
    EXPECT_FALSE(error.failed);
}

TEST_F(CabDecoderTest, LargeMszipCabinetExtractionSpeed) {
    ScratchFolder out(L"large");
    const auto start = std::chrono::steady_clock::now();
    const Extraction x = Extract(TestData() + L"large.cab", out.Path());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(x.ok);
    std::uint64_t bytes = 0;
    for (const std::wstring& name : FilesIn(out.Path())) {
        WIN32_FILE_ATTRIBUTE_DATA a{};
        ::GetFileAttributesExW((out / name).c_str(), GetFileExInfoStandard, &a);
        bytes += a.nFileSizeLow;
    }
    EXPECT_EQ(FilesIn(out.Path()).size(), 200u);
    const double megabytes = static_cast<double>(bytes) / 1e6;
    std::cout << "large MSZIP cabinet: " << megabytes << " MB in " << seconds << " s = " << megabytes / seconds
              << " MB/s\n";
}

TEST_F(CabDecoderTest, MutatedAndTruncatedCabinetsAlwaysReturn) {
    // Damage gcab's cabinets deterministically: every copy must end, with
    // success or with the error flag, and never crash or spin.
    ScratchFolder work(L"mutated");
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int failed = 0, runs = 0;
    for (const wchar_t* source : {L"stored.cab", L"mszip.cab"}) {
        const std::string original = ReadBytes(TestData() + source);
        for (int round = 0; round < 60; ++round, ++runs) {
            std::string damaged = original;
            if (round % 3 == 0) {
                damaged.resize(next() % damaged.size());
            } else {
                const int flips = 1 + static_cast<int>(next() % 8);
                for (int i = 0; i < flips; ++i) {
                    // Mostly the headers, sometimes the data.
                    const std::size_t limit = round % 3 == 1 ? std::min<std::size_t>(damaged.size(), 400) : damaged.size();
                    damaged[next() % limit] = static_cast<char>(next());
                }
            }
            WriteBytes(work / L"damaged.cab", damaged);
            ScratchFolder out(L"mutated_out");
            const Extraction x = Extract(work / L"damaged.cab", out.Path());
            if (!x.ok) {
                ++failed;
                EXPECT_TRUE(x.error.failed);
            }
        }
    }
    EXPECT_GT(failed, runs / 4);
}
