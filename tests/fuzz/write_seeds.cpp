// Writes the seed corpus of the descriptor fuzzer into the folder given as the
// only argument: the descriptors of the reader's tests, in the old form and in
// the form current clients write (part hashes and AICH root among them), and a
// few cut and hostile variants.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "partmetbuilder.h"

using namespace partmet;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    const std::string oldForm = OldForm().Bytes();
    const std::string modern = ModernLarge().Bytes();
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"old-form", oldForm},
        {"modern-large", modern},
        {"no-tags", TBuilder().Bytes()},
        {"cut-in-hash", oldForm.substr(0, 13)},
        {"cut-in-records", oldForm.substr(0, 40)},
        {"cut-in-tags", modern.substr(0, modern.size() - 20)},
        {"skipped-types-plain", TBuilder().Add(EverySkippedType(0x70, false)).Add(Integer(Status, 1)).Bytes()},
        {"fixed-texts", TBuilder().Add(FixedText(FileType, "Audio")).Add(FixedText(FileName, "0123456789abcdef", false)).Bytes()},
        {"unknown-type", TBuilder().Add(Integer(Priority, 2)).DeclaredTagCount(2).Trailer("\x0C\x01\x00\x13").Bytes()},
        {"nul-and-bom", TBuilder().Add(Text(FileName, std::string("\xEF\xBB\xBF" "a\0b", 6))).Bytes()},
        {"long-name", TBuilder().Add(Text(FileName, std::string(5000, 'n'))).Add(Integer(FileSize, 1, 8)).Bytes()},
        {"huge-counts", TBuilder().Records(0xFFFF).DeclaredTagCount(0xFFFFFFFF).Bytes().substr(0, 60)},
        {"part-hashes-and-aich", ZeroFileDownload(TwoChunksAndAByte).Bytes()},
        {"part-hashes-two", ZeroFileDownload(OneChunkOfZeros).Add(Text(AichHash, "5d3n4hqhiumq7iu7a5qlpli6rhswor7b", true)).Bytes()},
        {"part-hashes-wrong", TBuilder(0xE0, HashFromHex(OneChunkOfZeros.ed2k)).PartHashes({OneChunkOfZeros.parts[1], OneChunkOfZeros.parts[0]})
                                  .Add(Integer(FileSize, OneChunkOfZeros.size)).Bytes()},
        {"part-hashes-cut", ZeroFileDownload(TwoChunksAndAByte).Bytes().substr(0, 23 + 40)},
        {"part-hash-count-past-end", TBuilder().PartHashes(TwoChunksAndAByte.parts, 0xFFFF).Bytes()},
        {"aich-not-base32", TBuilder().Add(Text(AichHash, std::string(31, 'A') + "1")).Add(Text(AichHash, std::string(33, 'A'))).Bytes()},
        {"huge-blob", TBuilder().Add({0x07, Id(0x20), false, LittleEndian(0xFFFFFFF0, 4) + "\x03\x01"}).Bytes()},
    };
    for (const auto &[name, bytes] : seeds) {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    return 0;
}
