#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "entries/partfile.h"
#include "partmetbuilder.h"
#include "testsupport.h"

using namespace partmet;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Writes bytes as a descriptor and reads it into an entry.
std::unique_ptr<TPartFile> ReadEntry(const std::string &path, const std::string &bytes)
{
    WriteFile(path, bytes);
    auto entry = std::make_unique<TPartFile>(path);
    EXPECT_TRUE(entry->HashFile());
    return entry;
}

// What an entry shows after reading. An empty name or size stands for the
// values the entry starts with: the descriptor's path and its length.
struct TExpected
{
    std::optional<std::string> name = {};
    std::optional<std::int64_t> size = {};
    std::uint64_t transferred = 0;
    std::string tempFileName = {};
    std::string fileType = {};
    std::string fileFormat = {};
    std::uint32_t priority = 0;
    std::uint32_t status = 0;
    std::string hash = std::string(SampleHashText);
};

void ExpectEntry(const TPartFile &entry, const TExpected &expected, std::size_t fileLength)
{
    EXPECT_EQ(entry.DonkeyHashText(), expected.hash);
    EXPECT_EQ(entry.FileSpreeHashText(), NotAvailableText);
    EXPECT_EQ(entry.Name(), expected.name.value_or(entry.Path()));
    EXPECT_EQ(entry.Size(), expected.size.value_or(static_cast<std::int64_t>(fileLength)));
    EXPECT_EQ(entry.Transferred(), expected.transferred);
    EXPECT_EQ(entry.TempFileName(), expected.tempFileName);
    EXPECT_EQ(entry.FileType(), expected.fileType);
    EXPECT_EQ(entry.FileFormat(), expected.fileFormat);
    EXPECT_EQ(entry.Priority(), expected.priority);
    EXPECT_EQ(entry.Status(), expected.status);
}

// A status tag, then a type byte the reader does not know directly followed by
// a whole priority tag, which a reader that went on would take.
std::string EndedByType(std::uint8_t typeByte)
{
    return TBuilder().Add(Integer(Status, 1)).DeclaredTagCount(3)
        .Trailer(std::string(1, static_cast<char>(typeByte)) + Integer(Priority, 2, 8, true).Bytes()).Bytes();
}

// Gives the data in pieces of a fixed length, or a read error after errorAt bytes.
TPartMetSource PieceSource(const std::string &data, std::size_t piece, std::size_t errorAt = SIZE_MAX)
{
    auto offset = std::make_shared<std::size_t>(0);
    return [&data, piece, errorAt, offset](void *buffer, std::size_t count) -> std::int64_t {
        if (*offset >= errorAt)
            return -1;
        const std::size_t n = std::min({count, piece, data.size() - *offset, errorAt - *offset});
        std::memcpy(buffer, data.data() + *offset, n);
        *offset += n;
        return static_cast<std::int64_t>(n);
    };
}

} // namespace

TEST(PartMet, Descriptors)
{
    const std::string longName(5000, 'n');
    const std::string longestText(65535, 't');
    struct TCase
    {
        const char *what;
        std::string bytes;
        TExpected expected;
        // Kept, with a warning: it ends inside its tags, or its part hashes
        // do not fit its size.
        bool warned = false;
    };
    const std::vector<TCase> cases = {
        {"old form, every row, gap tags", OldForm().Bytes(),
         {"holiday.avi", 734003200, 1048576, "001.part", "Video", "avi", 2, 1}},
        {"large file, current form, every skipped type", ModernLarge().Bytes(),
         {"debian-12.iso", 5368709120, 4294967295, "007.part", "Iso", "iso", 1, 0}},
        {"no tags", TBuilder().Bytes(), {}},
        {"leading byte 0xE1", TBuilder(0xE1).Add(Integer(FileSize, 5)).Bytes(), {.size = 5}},
        {"32-bit size of all ones is unsigned", TBuilder().Add(Integer(FileSize, 0xFFFFFFFF)).Bytes(),
         {.size = 4294967295}},
        {"NUL ends a text",
         TBuilder().Add(Text(FileName, std::string("abc\0def", 7))).Add(FixedText(FileType, std::string("x\0y", 3))).Bytes(),
         {.name = "abc", .fileType = "x"}},
        {"integer named 0x01 and text named 0x02 change nothing",
         TBuilder().Add(Integer(FileName, 7)).Add(Text(FileSize, "123")).Add(Integer(Status, 1)).Bytes(),
         {.status = 1}},
        {"64-bit priority and status keep their low 32 bits",
         TBuilder().Add(Integer(Priority, 0x100000002, 64)).Add(Integer(Status, 0xFFFFFFFF00000001, 64, true)).Bytes(),
         {.priority = 2, .status = 1}},
        {"8- and 16-bit size and transferred",
         TBuilder().Add(Integer(FileSize, 0xBEEF, 16)).Add(Integer(Transferred, 0xAB, 8, true)).Bytes(),
         {.size = 0xBEEF, .transferred = 0xAB}},
        {"a later tag replaces an earlier one",
         TBuilder().Add(Integer(Priority, 1)).Add(Text(FileType, "a")).Add(Integer(Priority, 2, 8, true)).Add(FixedText(FileType, "b")).Bytes(),
         {.fileType = "b", .priority = 2}},
        {"fixed-length texts of 1 and 16 bytes, long names",
         TBuilder().Add(FixedText(FileFormat, "x", false)).Add(FixedText(TempFileName, "0123456789abcdef", false)).Bytes(),
         {.tempFileName = "0123456789abcdef", .fileFormat = "x"}},
        {"tags of other IDs and names are skipped in place",
         TBuilder()
             .Add(Text(0x05, "zzz")).Add(Integer(0x99, 5, 64, true))
             .Add({0x03, "", false, LittleEndian(1, 4)})
             .Add({0x03, std::string("\x02\x00", 2), false, LittleEndian(1, 4)})
             .Add({0x02, longName, false, LittleEndian(2, 2) + "ok"})
             .Add(Integer(FileSize, 42)).Bytes(),
         {.size = 42}},
        {"texts longer than 4,095 bytes stay whole",
         TBuilder().Add(Text(FileName, longName)).Add(Text(TempFileName, longestText, true)).Bytes(),
         {.name = longName, .tempFileName = longestText}},
        {"tags after part hashes and a blob larger than the read buffer",
         TBuilder().Records(300).Add({0x07, Id(0x20), false, LittleEndian(200000, 4) + std::string(200000, '\x03')})
             .Add(Integer(FileSize, 42)).Bytes(),
         {.size = 42}, true},
        {"more tags declared than present", OldForm().DeclaredTagCount(0xFFFFFFFF).Bytes(),
         {"holiday.avi", 734003200, 1048576, "001.part", "Video", "avi", 2, 1}, true},
        {"fewer tags declared than present",
         TBuilder().Add(Integer(Priority, 2)).Add(Integer(Status, 1)).DeclaredTagCount(1).Bytes(), {.priority = 2}},
        {"blob longer than the data", TBuilder().Add(Text(FileName, "kept")).Add({0x07, Id(0x20), false, LittleEndian(0xFFFFFFFF, 4) + "\x03"})
             .Add(Integer(Status, 1)).Bytes(),
         {.name = "kept"}, true},
        // A value of a type the reader does not know has a length it cannot
        // tell: what follows is unread, and the entry says so.
        {"type 0x00 ends the tags", EndedByType(0x00), {.status = 1}, true},
        {"type 0x0C ends the tags", EndedByType(0x0C), {.status = 1}, true},
        {"type 0x10 ends the tags", EndedByType(0x10), {.status = 1}, true},
        {"type 0xA1 ends the tags", EndedByType(0xA1), {.status = 1}, true},
        // No file holds 2^63 bytes or more: the largest size an entry can
        // hold is shown, with a warning.
        {"64-bit size of all ones", TBuilder().Add(Integer(FileSize, UINT64_MAX, 64, true)).Bytes(),
         {.size = INT64_MAX}, true},
        {"64-bit size of 2^63", TBuilder().Add(Integer(FileSize, 1ull << 63, 64, true)).Bytes(), {.size = INT64_MAX},
         true},
        {"64-bit size of 2^63 - 1", TBuilder().Add(Integer(FileSize, INT64_MAX, 64, true)).Bytes(), {.size = INT64_MAX}},
    };

    TempDir dir;
    const std::string path = dir.file("case.part.met");
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.what);
        const auto entry = ReadEntry(path, c.bytes);
        ExpectEntry(*entry, c.expected, c.bytes.size());
        EXPECT_EQ(entry->Failure(), "");
        EXPECT_EQ(entry->Warning().empty(), !c.warned) << entry->Warning();
    }
}

// Files that are no descriptor fail like unreadable files, whatever follows
// their first byte, and show nothing of what they hold.
TEST(PartMet, NotADescriptorFails)
{
    const std::string valid = OldForm().Bytes();
    const struct
    {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"text", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"},
        {"leading byte 0x00, a descriptor after it", std::string(1, '\0') + valid.substr(1)},
        {"leading byte 0xE3, a descriptor after it", "\xE3" + valid.substr(1)},
        {"leading byte 0xDF, a descriptor after it", "\xDF" + valid.substr(1)},
        {"ends inside the hash", valid.substr(0, 12)},
        {"ends inside the part-hash count", valid.substr(0, 1 + 4 + 16 + 1)},
    };
    TempDir dir;
    const std::string path = dir.file("fake.part.met");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const auto entry = ReadEntry(path, c.bytes);
        ExpectEntry(*entry, {.hash = std::string(ErrorText)}, c.bytes.size());
        EXPECT_THAT(entry->Failure(), testing::StartsWith("not a download descriptor"));
        EXPECT_EQ(entry->DonkeyLink(), "ed2k://|file|fake.part.met|" + std::to_string(c.bytes.size()) + "|Error !|");
    }
}

TEST(PartMet, LinksCarryTheRecordedNameAndSize)
{
    TempDir dir;
    const auto entry = ReadEntry(dir.file("a.part.met"), OldForm().Bytes());
    EXPECT_EQ(entry->DonkeyLink(), "ed2k://|file|holiday.avi|734003200|" + std::string(SampleHashText) + "|");
    EXPECT_EQ(entry->FileSpreeLink(), NotAvailableText);
}

// Every prefix of a descriptor: no descriptor at all when cut before its
// part-hash count; past it, the hash and exactly the tags that are whole, with
// a warning unless nothing is missing.
TEST(PartMet, TruncationAtEveryOffset)
{
    TBuilder builder(0xE2, HashFromHex(TwoChunksAndAByte.ed2k));
    builder.PartHashes(TwoChunksAndAByte.parts)
        .Add(Text(FileName, "cut.bin", true))
        .Add(Integer(FileSize, TwoChunksAndAByte.size, 64, true))
        .Add(FixedText(FileType, "Doc"))
        .Add({0x07, Id(0x30), false, LittleEndian(3, 4) + std::string("\x03\x01\x00", 3)})
        .Add(Integer(Transferred, 77))
        .Add(Text(TempFileName, "002.part"))
        .Add(Integer(Priority, 2, 8, true))
        .Add(Integer(Status, 1, 16, true))
        .Add(Text(FileFormat, "pdf"));
    const std::string full = builder.Bytes();
    const std::vector<std::size_t> ends = builder.TagEnds();
    ASSERT_EQ(ends.back(), full.size());
    const std::size_t partHashCountEnd = 1 + 4 + 16 + 2;
    const std::size_t tagCountEnd = partHashCountEnd + 3 * 16 + 4;

    TempDir dir;
    const std::string path = dir.file("cut.part.met");
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const auto entry = ReadEntry(path, full.substr(0, cut));
        const auto whole = [&](std::size_t tag) { return ends[tag] <= cut; };
        TExpected expected{.hash = std::string(TwoChunksAndAByte.ed2k)};
        if (cut < partHashCountEnd) {
            expected.hash = std::string(ErrorText);
        } else if (cut >= tagCountEnd) {
            if (whole(0)) expected.name = "cut.bin";
            if (whole(1)) expected.size = TwoChunksAndAByte.size;
            if (whole(2)) expected.fileType = "Doc";
            if (whole(4)) expected.transferred = 77;
            if (whole(5)) expected.tempFileName = "002.part";
            if (whole(6)) expected.priority = 2;
            if (whole(7)) expected.status = 1;
            if (whole(8)) expected.fileFormat = "pdf";
        }
        ExpectEntry(*entry, expected, cut);
        if (cut >= partHashCountEnd && cut < tagCountEnd) {
            EXPECT_THAT(entry->Warning(), testing::HasSubstr("inside its part hashes"));
        }
        if (whole(1)) { // the size the part hashes belong to
            EXPECT_THAT(entry->Warning(), testing::Not(testing::HasSubstr("part hashes")));
        }
        EXPECT_EQ(entry->Failure().empty(), cut >= partHashCountEnd);
        EXPECT_EQ(entry->Warning().empty(), cut < partHashCountEnd || cut == full.size());
        if (HasFailure())
            break;
    }
}

// How the data arrives (byte by byte, in odd pieces, whole) never changes what
// is read; a read error ends the reading and is told apart from the end.
TEST(PartMet, ReadingIsIndependentOfPieces)
{
    const std::vector<std::string> samples = {
        OldForm().Bytes(),
        ModernLarge().Bytes(),
        ZeroFileDownload(TwoChunksAndAByte).Records(5000).Bytes(),
        TBuilder().Add(Text(FileName, std::string(60000, 'x'))).Add({0x07, Id(0x20), false, LittleEndian(70000, 4) + std::string(70000, '\x02')})
            .Add(Text(FileType, "after")).Bytes(),
    };
    for (const std::string &data : samples) {
        const TPartMetContents whole = ReadPartMet(PieceSource(data, SIZE_MAX));
        EXPECT_FALSE(whole.Truncated);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4097}, std::size_t{65535}})
            EXPECT_EQ(ReadPartMet(PieceSource(data, piece)), whole) << "pieces of " << piece;
        for (const std::size_t errorAt : {std::size_t{0}, std::size_t{10}, std::size_t{40}, data.size() - 1}) {
            // What came before the error, and the error itself.
            TPartMetContents before = ReadPartMet(PieceSource(data.substr(0, errorAt), 7));
            EXPECT_FALSE(before.ReadFailed);
            before.ReadFailed = true;
            EXPECT_EQ(ReadPartMet(PieceSource(data, 7, errorAt)), before) << "error at " << errorAt;
        }
    }
}

// What a reading found amiss is named in the warning; a read error fails the
// entry with the system's own reason, never a reading of what came before.
TEST(PartMet, WarningsAndReadErrorsSayWhat)
{
    TempDir dir;
    const std::string path = dir.file("odd.part.met");
    const struct
    {
        std::string bytes;
        const char *warning;
    } cases[] = {
        {EndedByType(0x0C), "the descriptor holds a tag of the unknown type 0x0C; the tags after it cannot be read"},
        {EndedByType(0xA1), "unknown type 0xA1"},
        {TBuilder().Add(Integer(FileSize, UINT64_MAX, 64, true)).Bytes(),
         "the descriptor records a size of 18446744073709551615 bytes, more than a file can hold; "
         "9223372036854775807 is shown"},
        {TBuilder().Add(Integer(FileSize, UINT64_MAX, 64, true)).Add(Integer(Status, 1)).DeclaredTagCount(3).Bytes(),
         "cut short inside its tags; only the tags read whole are kept; the descriptor records a size of"},
    };
    for (const auto &c : cases) {
        const auto entry = ReadEntry(path, c.bytes);
        EXPECT_THAT(entry->Warning(), testing::HasSubstr(c.warning));
        EXPECT_EQ(entry->Failure(), "");
    }

#ifdef __linux__
    // The process's own memory reads as a file of size 0 whose first bytes
    // (the unmapped page at address 0) give EIO.
    TPartFile unreadable("/proc/self/mem");
    ASSERT_TRUE(unreadable.HashFile());
    EXPECT_EQ(unreadable.Failure(), std::strerror(EIO));
    EXPECT_EQ(unreadable.DonkeyHashText(), ErrorText);
#endif
}

TEST(PartMet, SourceIsNotAskedAgainAfterTheEnd)
{
    for (const std::string &data : {OldForm().DeclaredTagCount(1000).Bytes(), TBuilder().Records(0xFFFF).Bytes().substr(0, 30)}) {
        std::size_t callsAfterEnd = 0;
        std::size_t offset = 0;
        const TPartMetContents contents = ReadPartMet([&](void *buffer, std::size_t count) -> std::int64_t {
            const std::size_t n = std::min(count, data.size() - offset);
            if (n == 0)
                ++callsAfterEnd;
            std::memcpy(buffer, data.data() + offset, n);
            offset += n;
            return static_cast<std::int64_t>(n);
        });
        EXPECT_TRUE(contents.Truncated);
        EXPECT_EQ(callsAfterEnd, 1u);
    }
}

// Part hashes and the AICH root that a descriptor records, as rhash gives
// them for the file: shown when asked for, in the link as a hashed file's;
// part hashes that do not belong to the file hash or size are left out with a
// warning; a root that is not 32 base-32 digits is no root.
TEST(PartMet, PartHashesAndAichRoot)
{
    const auto joined = [](const TZeroFile &file) {
        std::string text;
        for (const std::string_view part : file.parts)
            text += (text.empty() ? "" : ":") + std::string(part);
        return text;
    };
    const auto link = [](const TZeroFile &file, const std::string &extras) {
        return "ed2k://|file|zeros.bin|" + std::to_string(file.size) + "|" + std::string(file.ed2k) + "|" + extras;
    };
    const TZeroFile &two = OneChunkOfZeros, &three = TwoChunksAndAByte;
    const std::string lowerAich = "5d3n4hqhiumq7iu7a5qlpli6rhswor7b";
    struct TCase
    {
        const char *what;
        std::string bytes;
        THashSelection extras;
        std::string link;
        std::string aich; // AichHashText
        bool partsShown;  // hsPartHashes stays in the snapshot
        const char *warning;
    };
    const TCase cases[] = {
        {"a whole chunk and the empty one", ZeroFileDownload(two).Bytes(), hsAich | hsPartHashes,
         link(two, "p=" + joined(two) + "|h=" + std::string(two.aich) + "|/"), std::string(two.aich), true, ""},
        {"three chunks", ZeroFileDownload(three).Bytes(), hsAich | hsPartHashes,
         link(three, "p=" + joined(three) + "|h=" + std::string(three.aich) + "|/"), std::string(three.aich), true, ""},
        {"not asked for", ZeroFileDownload(three).Bytes(), 0, link(three, ""), "N/A", false, ""},
        {"part hashes alone", ZeroFileDownload(three).Bytes(), hsPartHashes, link(three, "p=" + joined(three) + "|/"),
         "N/A", true, ""},
        {"a root in lower case, as a compact text tag",
         TBuilder(0xE0, HashFromHex(two.ed2k)).Add(Text(FileName, "zeros.bin")).Add(Integer(FileSize, two.size))
             .Add(Text(AichHash, lowerAich, true)).Bytes(),
         hsAich | hsPartHashes, link(two, "h=" + std::string(two.aich) + "|/"), std::string(two.aich), false, ""},
        {"no part hashes yet, roots of 31 digits, of a digit 1, as an integer",
         TBuilder(0xE0, HashFromHex(two.ed2k)).Add(Text(FileName, "zeros.bin")).Add(Integer(FileSize, two.size))
             .Add(Text(AichHash, lowerAich.substr(1))).Add(Text(AichHash, "1" + lowerAich.substr(1)))
             .Add(Integer(AichHash, 7)).Bytes(),
         hsAich | hsPartHashes, link(two, ""), "N/A", false, ""},
        {"one chunk, no part hashes", TBuilder().Add(Text(FileName, "zeros.bin")).Add(Integer(FileSize, 100)).Bytes(),
         hsPartHashes, "ed2k://|file|zeros.bin|100|" + std::string(SampleHashText) + "|", "N/A", true, ""},
        {"one chunk, its hash as the one part hash",
         TBuilder().PartHashes({SampleHashText}).Add(Text(FileName, "zeros.bin")).Add(Integer(FileSize, 100)).Bytes(),
         hsPartHashes, "ed2k://|file|zeros.bin|100|" + std::string(SampleHashText) + "|", "N/A", true, ""},
        {"part hashes in the wrong order",
         TBuilder(0xE0, HashFromHex(three.ed2k)).PartHashes({three.parts[2], three.parts[0], three.parts[1]})
             .Add(Text(FileName, "zeros.bin")).Add(Integer(FileSize, three.size)).Bytes(),
         hsPartHashes, link(three, ""), "N/A", false, "part hashes do not give its file hash"},
        {"the part hashes of another size",
         TBuilder(0xE0, HashFromHex(two.ed2k)).PartHashes(two.parts).Add(Text(FileName, "zeros.bin"))
             .Add(Integer(FileSize, three.size)).Bytes(),
         hsPartHashes, "ed2k://|file|zeros.bin|19456001|" + std::string(two.ed2k) + "|", "N/A", false,
         "records 2 part hashes where a file of 19456001 bytes has 3"},
        {"a count that runs past the end keeps the file hash",
         TBuilder(0xE0, HashFromHex(two.ed2k)).PartHashes(two.parts, 0xFFFF).Bytes(),
         hsAich | hsPartHashes, "", "N/A", false, "cut short inside its part hashes"},
    };
    TempDir dir;
    const std::string path = dir.file("zeros.part.met");
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(path, c.bytes);
        TPartFile entry(path, c.extras);
        ASSERT_TRUE(entry.HashFile());
        EXPECT_EQ(entry.Failure(), "");
        if (*c.warning) {
            EXPECT_THAT(entry.Warning(), testing::HasSubstr(c.warning));
        } else {
            EXPECT_EQ(entry.Warning(), "");
        }
        if (!c.link.empty()) {
            EXPECT_EQ(entry.DonkeyLink(), c.link);
        }
        EXPECT_EQ(entry.AichHashText(), c.aich);
        const TEntrySnapshot shown = entry.Snapshot();
        EXPECT_EQ(shown.AichHashText(), c.aich);
        EXPECT_EQ((shown.HashSelection & hsPartHashes) != 0, c.partsShown);
    }

    // A refresh takes them away with the file hash they belong to.
    WriteFile(path, ZeroFileDownload(three).Bytes());
    TPartFile entry(path, hsAich | hsPartHashes);
    ASSERT_TRUE(entry.HashFile());
    EXPECT_EQ(entry.PriorityText(), "Auto");
    WriteFile(path, OldForm().Bytes());
    ASSERT_TRUE(entry.HashFile());
    EXPECT_EQ(entry.AichHashText(), "N/A");
    EXPECT_EQ(entry.PartHashes(), "");
    EXPECT_EQ(entry.DonkeyLink(), "ed2k://|file|holiday.avi|734003200|" + std::string(SampleHashText) + "|");
}

TEST(PartMet, PriorityAndStatusTexts)
{
    struct TCase
    {
        std::optional<std::uint32_t> value; // empty: no tag
        const char *priority;
        const char *status;
    };
    const TCase cases[] = {
        {std::nullopt, "Low", "Looking..."},
        {0, "Low", "Looking..."},
        {1, "Normal", "Paused"},
        {2, "High", "Unknown"},
        {3, "Unknown", "Unknown"},
        {5, "Auto", "Unknown"},
        {7, "Unknown", "Unknown"},
        {0xFFFFFFFF, "Unknown", "Unknown"},
    };
    TempDir dir;
    for (const TCase &c : cases) {
        TBuilder builder;
        if (c.value)
            builder.Add(Integer(Priority, *c.value)).Add(Integer(Status, *c.value));
        const auto entry = ReadEntry(dir.file(std::to_string(c.value.value_or(99)) + ".part.met"), builder.Bytes());
        EXPECT_EQ(entry->PriorityText(), c.priority) << c.value.value_or(99);
        EXPECT_EQ(entry->StatusText(), c.status) << c.value.value_or(99);
    }
}

// A refresh reads the descriptor again: fields of missing tags keep their
// values, the size falls back to the descriptor's length, the hash follows.
TEST(PartMet, RefreshRereads)
{
    TempDir dir;
    const std::string path = dir.file("r.part.met");
    const auto entry = ReadEntry(path, OldForm().Bytes());

    partmet::THash otherHash{};
    otherHash.fill(0xAA);
    const std::string second = TBuilder(0xE0, otherHash).Add(Integer(Status, 0)).Add(Text(FileFormat, "mkv")).Bytes();
    WriteFile(path, second);
    ASSERT_TRUE(entry->HashFile());
    ExpectEntry(*entry, {"holiday.avi", std::nullopt, 1048576, "001.part", "Video", "mkv", 2, 0, std::string(32, 'A')},
                second.size());

    std::filesystem::remove(path);
    EXPECT_FALSE(entry->HashFile());
    EXPECT_TRUE(entry->OpenFailed());
    EXPECT_EQ(entry->DonkeyHashText(), ErrorText);
    EXPECT_EQ(entry->Name(), "holiday.avi");
}

TEST(PartMet, MissingDescriptor)
{
    TempDir dir;
    TPartFile entry(dir.file("absent.part.met"));
    EXPECT_TRUE(entry.OpenFailed());
    EXPECT_FALSE(entry.HashFile());
    EXPECT_EQ(entry.DonkeyHashText(), ErrorText);
    EXPECT_EQ(entry.FileSpreeHashText(), NotAvailableText);
    EXPECT_EQ(entry.Size(), 0);
    EXPECT_EQ(entry.Name(), dir.file("absent.part.met"));
    EXPECT_EQ(entry.PriorityText(), "Low");
}

// The interface thread reads an entry while a refresh rewrites it: every
// getter gives one whole value, and a snapshot never mixes two readings (run
// under ThreadSanitizer to see races).
TEST(PartMet, ReadersSeeOneReadingDuringRefresh)
{
    TempDir dir;
    const std::string path = dir.file("t.part.met");
    const std::string tempA(3000, 'a'), tempB(3000, 'b');
    THash hashB{};
    hashB.fill(0xBB);
    const std::string a = TBuilder().Add(Text(FileName, "name-a")).Add(Text(TempFileName, tempA))
        .Add(Integer(Priority, 1)).Add(Integer(FileSize, 1000)).Bytes();
    const std::string b = TBuilder(0xE0, hashB).Add(Text(FileName, "name-b")).Add(Text(TempFileName, tempB))
        .Add(Integer(Priority, 2)).Add(Integer(FileSize, 2000)).Bytes();
    const auto entry = ReadEntry(path, a);

    std::atomic<bool> done = false;
    std::atomic<int> torn = 0, mixed = 0;
    std::thread reader([&] {
        const std::set<std::string> names = {"name-a", "name-b"}, temps = {tempA, tempB},
                                     priorities = {"Normal", "High"};
        while (!done) {
            torn += !names.contains(entry->Name()) + !temps.contains(entry->TempFileName())
                    + !priorities.contains(entry->PriorityText());
            // The other getters, for the sanitizer to watch.
            (void)entry->Size(), (void)entry->DonkeyHash(), (void)entry->CurrentChunk(), (void)entry->OpenFailed();
            (void)entry->Failure(), (void)entry->Warning(), (void)entry->DonkeyLink(), (void)entry->StatusText();
            const TEntrySnapshot shown = entry->Snapshot();
            if (shown.DonkeyHash == "Unknown")
                continue; // between the opening and the reading
            const bool isA = shown.Name == "name-a";
            mixed += shown.TempFileName != (isA ? tempA : tempB) || shown.Priority != (isA ? 1u : 2u)
                     || shown.Size != (isA ? 1000 : 2000)
                     || shown.DonkeyHash != (isA ? std::string(SampleHashText) : std::string(32, 'B'));
        }
    });
    for (int i = 0; i < 200; ++i) {
        WriteFile(path, i % 2 ? a : b);
        entry->HashFile();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(mixed, 0);
}

TEST(PartMet, IsPartMetPath)
{
    EXPECT_TRUE(IsPartMetPath("/downloads/temp/001.part.met"));
    EXPECT_TRUE(IsPartMetPath("001.part.met"));
    EXPECT_FALSE(IsPartMetPath("001.part.met.bak"));
    EXPECT_FALSE(IsPartMetPath("001.part"));
    EXPECT_FALSE(IsPartMetPath("001.met"));
    EXPECT_FALSE(IsPartMetPath(""));
}
