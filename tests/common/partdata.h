#pragma once

// The data of unfinished downloads for the tests of their check: sparse data
// files whose chunks all differ, and the part hashes and file hash that a
// descriptor of them records.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "digests/MessageDigests.h"
#include "digests/ed2k.h"
#include "partmetbuilder.h"

namespace partdata {

inline constexpr std::int64_t C = DonkeyChunkSize;

// A sparse data file of size bytes with a few distinct bytes at the start of
// every chunk, so that no two chunks hash alike.
inline void WriteData(const std::string &path, std::int64_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t at = 0; at < size; at += C) {
        const std::string mark = "chunk " + std::to_string(at / C + 1);
        out.seekp(at);
        out.write(mark.data(), static_cast<std::streamsize>(std::min<std::int64_t>(mark.size(), size - at)));
    }
    out.close();
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

inline void Overwrite(const std::string &path, std::int64_t at, const std::string &bytes)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(at);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The chunk digests of the file at path, as eDonkey2000 lists them (a size of
// whole chunks ending in the empty chunk's).
inline std::vector<std::string> PartHashesOf(const std::string &path, std::int64_t size)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> parts;
    std::vector<char> chunk(static_cast<std::size_t>(C));
    for (std::int64_t k = 1; k <= DonkeyChunkCount(size); ++k) {
        const auto length = static_cast<std::size_t>(DonkeyChunkLength(size, k));
        in.read(chunk.data(), static_cast<std::streamsize>(length));
        TMD4 md4;
        md4.Transform(chunk.data(), length);
        md4.Complete();
        parts.push_back(HexText(md4.Digest().data(), DonkeyDigestBytes, true));
    }
    return parts;
}

inline std::string RootOf(const std::vector<std::string> &parts)
{
    if (parts.size() == 1)
        return parts.front();
    std::vector<std::uint8_t> joined;
    for (const std::string &part : parts) {
        const partmet::THash h = partmet::HashFromHex(part);
        joined.insert(joined.end(), h.begin(), h.end());
    }
    return HexText(DonkeyRoot(joined).data(), DonkeyDigestBytes, true);
}

inline std::vector<std::string_view> Views(const std::vector<std::string> &texts)
{
    return {texts.begin(), texts.end()};
}

} // namespace partdata
