// libFuzzer target for the .part.met reader. Each input is read three ways and
// the results must agree:
//   - from memory in one piece,
//   - from memory in small pieces (buffer refills land inside every field),
//   - as a descriptor file through TPartFile, the way the program reads it.
// Besides the sanitizers' findings, a disagreement or a broken invariant aborts.

#include <algorithm>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "digests/MessageDigests.h"
#include "entries/partfile.h"

namespace {

TPartMetSource MemorySource(const std::uint8_t *data, std::size_t size, std::size_t piece, std::size_t &offset)
{
    return [data, size, piece, &offset](void *buffer, std::size_t count) -> std::int64_t {
        const std::size_t n = std::min({count, piece, size - offset});
        if (n > 0)
            std::memcpy(buffer, data + offset, n);
        offset += n;
        return static_cast<std::int64_t>(n);
    };
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// One in-memory file for the whole run, rewritten for every input and opened
// by its /proc path, so that no file is left behind.
class TMemoryFile final
{
public:
    TMemoryFile()
        : m_fd(::memfd_create("partmet-fuzz", 0))
        , m_path("/proc/self/fd/" + std::to_string(m_fd))
    {
        Check(m_fd >= 0);
    }
    ~TMemoryFile() { ::close(m_fd); }
    TMemoryFile(const TMemoryFile &) = delete;
    TMemoryFile &operator=(const TMemoryFile &) = delete;

    const std::string &Write(const std::uint8_t *data, std::size_t size)
    {
        Check(::ftruncate(m_fd, 0) == 0);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            Check(n > 0);
            done += static_cast<std::size_t>(n);
        }
        return m_path;
    }

private:
    int m_fd;
    std::string m_path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::size_t offset = 0;
    const TPartMetContents whole = ReadPartMet(MemorySource(data, size, size + 1, offset));
    std::size_t pieceOffset = 0;
    const TPartMetContents pieces = ReadPartMet(MemorySource(data, size, 1 + size % 61, pieceOffset));
    Check(pieces == whole);
    // Only the end of the data cuts a descriptor short.
    Check(!whole.Truncated || pieceOffset == size);

    const bool knownLeadingByte = size > 0 && IsDescriptorLeadingByte(data[0]);
    Check(whole.HashComplete == (knownLeadingByte && size >= 21));
    Check(!whole.PartHashCountRead || whole.HashComplete);
    Check(!whole.TagCountRead || whole.PartHashCountRead);
    if (whole.HashComplete)
        Check(std::equal(whole.Hash.begin(), whole.Hash.end(), data + 5));
    // The part-hash list holds what the data gave, never more than its count.
    Check(whole.PartHashes.size() <= whole.PartHashCount);
    Check(!whole.TagCountRead || whole.PartHashes.size() == whole.PartHashCount);
    Check(whole.PartHashes.size() * 16 + 23 <= size || whole.PartHashes.empty());
    for (std::size_t i = 0; i < whole.PartHashes.size(); ++i)
        Check(std::equal(whole.PartHashes[i].begin(), whole.PartHashes[i].end(), data + 23 + 16 * i));
    for (const auto *text : {&whole.Name, &whole.FileType, &whole.FileFormat, &whole.TempFileName})
        Check(!*text || (*text)->size() < size);

    static TMemoryFile file;
    TPartFile entry(file.Write(data, size), hsAich | hsPartHashes);
    Check(!entry.OpenFailed() && entry.HashFile());
    // No descriptor: "Error !" and nothing of the data shown.
    const bool descriptor = whole.PartHashCountRead;
    Check(entry.Failure().empty() == descriptor);
    // A cut descriptor, a value type the reader does not know and a size no
    // file can have always warn; anything else only about its part hashes.
    const bool amiss = whole.Truncated || whole.UnknownType || (whole.Size && *whole.Size > INT64_MAX);
    Check(!whole.ReadFailed);
    if (descriptor && amiss)
        Check(!entry.Warning().empty());
    if (!descriptor || !amiss)
        Check(entry.Warning().empty() || entry.Warning().find("part hashes") != std::string::npos);
    // Shown part hashes are the list read, and give the file hash.
    const TEntrySnapshot snapshot = entry.Snapshot();
    const std::string parts = entry.PartHashes();
    if (!parts.empty()) {
        Check(descriptor && whole.TagCountRead && whole.PartHashes.size() > 1);
        Check(parts.size() == 33 * whole.PartHashes.size() - 1);
        Check(parts.substr(0, 32) == HexText(whole.PartHashes[0].data(), 16, true));
        TMD4 root;
        for (const auto &hash : whole.PartHashes)
            root.Transform(hash.data(), hash.size());
        root.Complete();
        Check(std::equal(whole.Hash.begin(), whole.Hash.end(), root.Digest().begin()));
    }
    Check(!(snapshot.HashSelection & hsPartHashes) || !descriptor || whole.TagCountRead);
    // The AICH root: its 32 digits where the descriptor records one.
    if (descriptor)
        Check(entry.AichHashText() == (whole.AichRoot ? Base32Text(whole.AichRoot->data(), 20) : std::string("N/A")));
    Check(entry.DonkeyHashText() ==
          (descriptor ? HexText(whole.Hash.data(), whole.Hash.size(), true) : std::string(ErrorText)));
    const TPartMetContents shown = descriptor ? whole : TPartMetContents{};
    Check(entry.Name() == shown.Name.value_or(entry.Path()));
    Check(entry.Transferred() == shown.Transferred.value_or(0));
    Check(entry.Priority() == shown.Priority.value_or(0) && entry.Status() == shown.Status.value_or(0));
    const auto largest = static_cast<std::uint64_t>(INT64_MAX);
    Check(entry.Size() == static_cast<std::int64_t>(std::min(shown.Size.value_or(size), largest)));
    return 0;
}
