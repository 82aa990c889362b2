#include "runs/datacheck.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <limits>

#include "digests/MessageDigests.h"
#include "digests/ed2k.h"
#include "entries/partfile.h"
#include "entries/reasons.h"
#include "input/fileio.h"
#include "runs/chunklanes.h"
#include "runs/runentry.h"

namespace {

using TDigest = std::array<std::uint8_t, DonkeyDigestBytes>;

// The MD4 of nothing: the digest of the empty chunk that ends a size of whole
// chunks (RFC 1320's first test vector).
constexpr TDigest EmptyChunkDigest = {0x31, 0xD6, 0xCF, 0xE0, 0xD1, 0x6A, 0xE9, 0x31,
                                      0xB7, 0x3C, 0x59, 0xD7, 0xE0, 0xC0, 0x89, 0xC0};

// Chunks that hold data: none for an empty file, and no empty last one.
std::int64_t DataChunkCount(std::int64_t size)
{
    return (size + DonkeyChunkSize - 1) / DonkeyChunkSize;
}

// The name a message gives a path: the part after its last separator.
std::string FileNameOf(const std::string &path)
{
#ifdef _WIN32
    const auto cut = path.find_last_of("\\/:");
#else
    const auto cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool RecordedAgree(const TPartMetContents &contents, std::int64_t size)
{
    const std::vector<std::array<std::uint8_t, 16>> &parts = contents.PartHashes;
    if (parts.empty())
        return size < DonkeyChunkSize; // a file of one chunk needs none
    TDigest root = parts.front();
    if (parts.size() > 1) {
        TMD4 md4;
        for (const auto &part : parts)
            md4.Transform(part.data(), part.size());
        md4.Complete();
        std::memcpy(root.data(), md4.Digest().data(), root.size());
    }
    if (root != contents.Hash)
        return false;
    // The empty chunk after whole chunks is the MD4 of nothing, whatever the
    // file holds.
    const bool endsEmpty = size > 0 && size % DonkeyChunkSize == 0
                           && static_cast<std::int64_t>(parts.size()) == DonkeyChunkCount(size);
    return !endsEmpty || parts.back() == EmptyChunkDigest;
}

// Why the descriptor's records do not allow a check; empty when they do.
std::string RecordsFault(const TPartMetContents &contents, std::int64_t size)
{
    const auto count = static_cast<std::int64_t>(contents.PartHashes.size());
    if (size < DonkeyChunkSize)
        return count <= 1 ? std::string() : ReasonText(TReasonKey::DataCheckPartHashCount,
                                                       {std::to_string(count), std::to_string(size), "1"});
    if (count == 0)
        return ReasonText(TReasonKey::DataCheckNoPartHashes);
    // A size of whole chunks is listed with the empty chunk after them, as
    // the file hash counts it, or without it.
    if (count == DonkeyChunkCount(size) || (size % DonkeyChunkSize == 0 && count == DataChunkCount(size)))
        return {};
    return ReasonText(TReasonKey::DataCheckPartHashCount,
                      {std::to_string(count), std::to_string(size), std::to_string(DonkeyChunkCount(size))});
}

// Reads the descriptor into contents and check: false, with check.Error
// set, when its data cannot be checked.
bool ReadDescriptor(const std::string &path, TPartMetContents &contents, TDataCheck &check)
{
    TReadOnlyFile descriptor;
    if (!descriptor.Open(path)) {
        check.Error = descriptor.Error();
        return false;
    }
    contents = ReadPartMet([&descriptor](void *buffer, std::size_t count) { return descriptor.Read(buffer, count); });
    if (contents.ReadFailed) {
        check.Error = descriptor.Error().empty() ? ReasonText(TReasonKey::DescriptorUnreadable) : descriptor.Error();
        return false;
    }
    if (std::string reason = NotDescriptorReason(contents); !reason.empty()) {
        check.Error = std::move(reason);
        return false;
    }
    if (!contents.TagCountRead || contents.Truncated || contents.UnknownType) {
        // The gaps come last: a chunk they would have named missing may
        // not be taken as complete.
        check.Error = ReasonText(TReasonKey::DataCheckCutShort);
        return false;
    }
    if (!contents.Size) {
        check.Error = ReasonText(TReasonKey::DataCheckNoSize);
        return false;
    }
    if (*contents.Size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2)) {
        check.Error = ReasonText(TReasonKey::DataCheckSizeTooLarge, {std::to_string(*contents.Size)});
        return false;
    }
    check.Size = static_cast<std::int64_t>(*contents.Size);
    // Without part hashes, those of a file of several chunks are not known.
    if (!contents.PartHashes.empty() || check.Size < DonkeyChunkSize)
        check.HashesAgree = RecordedAgree(contents, check.Size);
    check.Error = RecordsFault(contents, check.Size);
    return check.Error.empty();
}

} // namespace

const char *ChunkVerdictText(TChunkVerdict verdict)
{
    switch (verdict) {
    case TChunkVerdict::Good: return "good";
    case TChunkVerdict::Corrupt: return "corrupt";
    case TChunkVerdict::Missing: break;
    }
    return "missing";
}

std::string DataFileOf(const std::string &descriptorPath)
{
    constexpr std::string_view met = ".met";
    if (!descriptorPath.ends_with(met) || descriptorPath.size() == met.size())
        return {};
    return descriptorPath.substr(0, descriptorPath.size() - met.size());
}

std::vector<TChunkVerdict> PresentChunks(std::int64_t size, const std::vector<TPartMetGap> &gaps,
                                         std::int64_t dataLength, std::int64_t &bytesComplete)
{
    std::vector<TChunkVerdict> chunks(static_cast<std::size_t>(DataChunkCount(size)), TChunkVerdict::Good);
    const auto present = static_cast<std::uint64_t>(std::clamp<std::int64_t>(dataLength, 0, size));
    const auto markMissing = [&](std::uint64_t start, std::uint64_t end) {
        if (start >= end)
            return;
        const auto first = static_cast<std::size_t>(start / DonkeyChunkSize);
        const auto last = static_cast<std::size_t>((end - 1) / DonkeyChunkSize);
        for (std::size_t k = first; k <= last && k < chunks.size(); ++k)
            chunks[k] = TChunkVerdict::Missing;
    };
    // What the file does not hold is missing as a gap is.
    markMissing(present, static_cast<std::uint64_t>(size));
    std::uint64_t missingBytes = static_cast<std::uint64_t>(size) - present;
    for (const TPartMetGap &gap : gaps) {
        markMissing(gap.Start, gap.End);
        // Only the part of the gap within what the file holds counts again.
        if (gap.Start < present)
            missingBytes += std::min(gap.End, present) - gap.Start;
    }
    bytesComplete = size - static_cast<std::int64_t>(missingBytes);
    return chunks;
}

TDataCheck CheckPartData(const std::string &descriptorPath, const TDataCheckOptions &options)
{
    TDataCheck check;
    check.DescriptorPath = descriptorPath;
    check.DataPath = DataFileOf(descriptorPath);
    const auto fail = [&check](std::string reason) {
        check.Error = std::move(reason);
        check.Chunks.clear();
        check.Good = check.Corrupt = check.Missing = check.BytesComplete = 0;
        return check;
    };
    try {
        TPartMetContents contents;
        if (!ReadDescriptor(descriptorPath, contents, check))
            return fail(check.Error);
        if (check.DataPath.empty())
            return fail(ReasonText(TReasonKey::DataFileUnknown));

        TReadOnlyFile data;
        TReadOnlyFile::Identity before;
        if (!data.Open(check.DataPath) || !data.Stat(before))
            return fail(ReasonText(TReasonKey::DataFileUnreadable, {FileNameOf(check.DataPath), data.Error()}));

        check.Chunks = PresentChunks(check.Size, GapsOf(contents, static_cast<std::uint64_t>(check.Size)),
                                     before.size, check.BytesComplete);
        std::vector<std::int64_t> complete;
        for (std::size_t k = 0; k < check.Chunks.size(); ++k) {
            if (check.Chunks[k] != TChunkVerdict::Missing)
                complete.push_back(static_cast<std::int64_t>(k) + 1);
        }
        if (options.OnStart)
            options.OnStart(static_cast<std::int64_t>(complete.size()));

        std::vector<std::uint8_t> digests(complete.size() * DonkeyDigestBytes);
        TLaneHashOptions lanes;
        // As the run of one file with eDonkey2000 alone reads: 64 KiB a lane.
        lanes.ReadBlockSize = 64 * 1024;
        lanes.Engine = options.Engine;
        lanes.Stop = options.Stop;
        const auto onChunk = [&options](std::int32_t done) {
            if (options.OnChunk)
                options.OnChunk(done);
        };
        std::string failure = HashChosenChunksInLanes(data, check.Size, complete, digests.data(),
                                                      std::max(1u, options.Threads), onChunk, lanes);
        if (failure == StoppedText)
            return fail(ReasonText(TReasonKey::Stopped));
        if (failure == ShrankText)
            return fail(ReasonText(TReasonKey::ShrankWhileRead));
        if (!failure.empty())
            return fail(ReasonText(TReasonKey::DataFileUnreadable, {FileNameOf(check.DataPath), failure}));
        // A client that wrote to the file meanwhile may have changed what was read.
        TReadOnlyFile::Identity after;
        if (!data.Stat(after) || !(after == before))
            return fail(ReasonText(TReasonKey::ChangedWhileRead));

        for (std::size_t i = 0; i < complete.size(); ++i) {
            const auto k = static_cast<std::size_t>(complete[i] - 1);
            const std::uint8_t *expected =
                contents.PartHashes.empty() ? contents.Hash.data() : contents.PartHashes[k].data();
            if (std::memcmp(digests.data() + i * DonkeyDigestBytes, expected, DonkeyDigestBytes) != 0)
                check.Chunks[k] = TChunkVerdict::Corrupt;
        }
        for (const TChunkVerdict verdict : check.Chunks) {
            switch (verdict) {
            case TChunkVerdict::Good: ++check.Good; break;
            case TChunkVerdict::Corrupt: ++check.Corrupt; break;
            case TChunkVerdict::Missing: ++check.Missing; break;
            }
        }
    } catch (...) {
        return fail(DescribeException(std::current_exception()));
    }
    return check;
}
