// The single-file package's payload: written after a program image, found
// again from the image's end, and every file's place derived from the index.
#include <gtest/gtest.h>

#include <string>

#include "portable/single_file_payload.h"

using namespace tarnex;

namespace {

SealedFile File(const wchar_t* name, std::uint64_t size) {
    SealedFile file{name, size, {}};
    file.digest[0] = static_cast<std::uint8_t>(size);
    return file;
}

// A program of imageSize bytes ('I'), then the files ('a', 'b', ... each
// padded), the index block, and a certificate table of 'C' bytes when
// signed. Returns the payload's content end in contentEnd.
std::string SingleFile(const PackageSeal& index, std::size_t imageSize, bool signed_, std::uint64_t& contentEnd) {
    std::string file(imageSize, 'I');
    file.append(static_cast<std::size_t>(PaddedSize(file.size()) - file.size()), '\0');
    const std::uint64_t filesStart = file.size();
    char fill = 'a';
    for (const SealedFile& f : index.files) {
        file.append(static_cast<std::size_t>(f.size), fill++);
        file.append(static_cast<std::size_t>(PaddedSize(f.size) - f.size), '\0');
    }
    file += PayloadIndexBlock(index, filesStart, file.size());
    contentEnd = file.size();
    if (signed_) file.append(64, 'C');
    return file;
}

PayloadSpan SpanOf(const std::string& file, std::uint64_t contentEnd) {
    const std::size_t end = static_cast<std::size_t>(contentEnd);
    const std::size_t tail = end < kPayloadTail ? end : kPayloadTail;
    PayloadSpan span;
    EXPECT_TRUE(FindPayloadSpan(std::string_view(file).substr(end - tail, tail), contentEnd, span));
    return span;
}

PackageSeal ThreeFiles() {
    PackageSeal index;
    index.description = L"Setup.inf";
    index.installedDescription = L"Uninst.inf";
    index.files = {File(L"Setup.exe", 13), File(L"Setup.inf", 8), File(L"\u0414\u0430\u043d\u043d\u044b\u0435.cab", 0)};
    return index;
}

}  // namespace

TEST(SingleFilePayload, FilesAreFoundWhereTheyWereWrittenSignedOrNot) {
    for (std::size_t imageSize : {std::size_t{4096}, std::size_t{4099}}) {
        for (bool signed_ : {false, true}) {
            std::uint64_t contentEnd = 0;
            const std::string file = SingleFile(ThreeFiles(), imageSize, signed_, contentEnd);
            // The index block ends where a certificate table may start.
            EXPECT_EQ(contentEnd % 8, 0u);
            const PayloadSpan span = SpanOf(file, contentEnd);
            EXPECT_EQ(span.filesStart, PaddedSize(imageSize));
            Payload payload;
            ASSERT_TRUE(LayOutPayload(file.substr(static_cast<std::size_t>(span.indexOffset), span.indexLength), span,
                                      payload));
            ASSERT_EQ(payload.offsets.size(), 3u);
            EXPECT_EQ(file.substr(static_cast<std::size_t>(payload.offsets[0]), 13), std::string(13, 'a'));
            EXPECT_EQ(file.substr(static_cast<std::size_t>(payload.offsets[1]), 8), std::string(8, 'b'));
            EXPECT_EQ(payload.offsets[2], span.indexOffset);  // the empty file
            EXPECT_EQ(payload.index.files[2].name, L"\u0414\u0430\u043d\u043d\u044b\u0435.cab");
        }
    }
}

TEST(SingleFilePayload, AnIndexThatDoesNotAccountForEveryByteIsRefused) {
    std::uint64_t contentEnd = 0;
    const std::string file = SingleFile(ThreeFiles(), 4096, false, contentEnd);
    const PayloadSpan span = SpanOf(file, contentEnd);
    const std::string text = file.substr(static_cast<std::size_t>(span.indexOffset), span.indexLength);
    Payload payload;
    // A size that changes its file's padded place is refused by the layout
    // alone; one that stays within the padding is left to the digests.
    struct Change {
        std::string from, to;
        bool fits;
    };
    for (const Change& c : {Change{"8", "9", false}, Change{"8", "21", false}, Change{"8", "5", true},
                            Change{"13", "7", false}, Change{"13", "9", true}, Change{"13", "17", false}}) {
        std::string changed = text;
        const std::string from = "file\t" + c.from + "\t";
        const std::size_t at = changed.find(from);
        ASSERT_NE(at, std::string::npos);
        changed.replace(at, from.size(), "file\t" + c.to + "\t");
        PayloadSpan same = span;
        same.indexLength = static_cast<std::uint32_t>(changed.size());
        EXPECT_EQ(LayOutPayload(changed, same, payload), c.fits) << c.from << " -> " << c.to;
    }
    // Files past the index, a first file that is not where the trailer says,
    // an index of another length, and a size that would wrap the sum.
    PayloadSpan moved = span;
    moved.filesStart += 8;
    EXPECT_FALSE(LayOutPayload(text, moved, payload));
    EXPECT_TRUE(payload.offsets.empty());
    EXPECT_FALSE(LayOutPayload(text.substr(1), span, payload));
    std::string huge = text;
    huge.replace(huge.find("file\t13\t"), 8, "file\t9999999999999999999\t");
    PayloadSpan hugeSpan = span;
    hugeSpan.indexLength = static_cast<std::uint32_t>(huge.size());
    EXPECT_FALSE(LayOutPayload(huge, hugeSpan, payload));
}

TEST(SingleFilePayload, TrailersThatPointOutsideTheProgramAreRefused) {
    std::uint64_t contentEnd = 0;
    const std::string file = SingleFile(ThreeFiles(), 4096, false, contentEnd);
    const std::size_t end = static_cast<std::size_t>(contentEnd);
    PayloadSpan span;
    // No trailer at all: a plain program, or one that ends in a seal.
    EXPECT_FALSE(FindPayloadSpan(std::string(kPayloadTail, 'I'), 1 << 20, span));
    EXPECT_FALSE(FindPayloadSpan(std::string(kPayloadTail, '\0'), 1 << 20, span));
    std::string tail = file.substr(end - kPayloadTail);
    const std::size_t mark = tail.rfind("TXPACK01");
    ASSERT_NE(mark, std::string::npos);
    // The index longer than what lies before it, the files after the index,
    // a first file off the 8-byte grid, and a content end past the form.
    std::string longer = tail;
    longer[mark - 12 + 3] = '\x7F';
    EXPECT_FALSE(FindPayloadSpan(longer, contentEnd, span));
    std::string late = tail;
    late[mark - 8 + 3] = '\x10';
    EXPECT_FALSE(FindPayloadSpan(late, contentEnd, span));
    std::string offGrid = tail;
    offGrid[mark - 8] = static_cast<char>(offGrid[mark - 8] + 1);
    EXPECT_FALSE(FindPayloadSpan(offGrid, contentEnd, span));
    EXPECT_FALSE(FindPayloadSpan(tail, kLargestSingleFile + 1, span));
    EXPECT_FALSE(FindPayloadSpan(tail, kPayloadTail - 1, span));
    EXPECT_TRUE(FindPayloadSpan(tail, contentEnd, span));
}
