#include "runs/onefile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "digests/MessageDigests.h"
#include "digests/aich.h"
#include "digests/ed2k.h"
#include "input/fileio.h"
#include "runs/buffers.h"
#include "runs/chunklanes.h"
#include "runs/tokens.h"
#include "runs/twothreads.h"

namespace {

// The digests of a one-pass run.
struct TPassDigests
{
    std::vector<std::uint8_t> chunkDigests;
    std::unique_ptr<TMD5> md5;
    std::unique_ptr<TAichHash> aich;
};

// Reads and hashes chunk `chunk` of the file through buffer, blockSize bytes
// at a time, into its digest in digests; returns why it could not, or empty.
std::string HashChunk(TReadOnlyFile &file, std::int64_t size, std::int32_t chunk, std::uint8_t *buffer,
                      std::size_t blockSize, TPassDigests &digests, TMD4 *chunkDigest, const std::atomic<bool> *stop)
{
    if (chunkDigest)
        chunkDigest->Initialize();
    for (std::int64_t left = DonkeyChunkLength(size, chunk); left > 0;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return StoppedText;
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, blockSize));
        const std::int64_t got = file.Read(buffer, want);
        if (got != static_cast<std::int64_t>(want))
            return got < 0 ? file.Error() : ShrankText;
        if (chunkDigest)
            chunkDigest->Transform(buffer, want);
        if (digests.md5)
            digests.md5->Transform(buffer, want);
        if (digests.aich)
            digests.aich->Update(buffer, want);
        left -= static_cast<std::int64_t>(want);
    }
    if (chunkDigest) {
        chunkDigest->Complete();
        std::memcpy(digests.chunkDigests.data() + DonkeyDigestBytes * static_cast<std::size_t>(chunk - 1),
                    chunkDigest->Digest().data(), DonkeyDigestBytes);
    }
    return {};
}

// One pass over the file on this thread, chunk by chunk, every selected
// digest fed from the same block.
void HashSequential(TRunEntry &entry, const TRunStart &start, const THashOptions &options)
{
    const auto chunks = static_cast<std::int32_t>(DonkeyChunkCount(start.Size));
    TPassDigests digests;
    std::unique_ptr<TMD4> chunkDigest;
    if (start.Selection & hsDonkey) {
        digests.chunkDigests.assign(DonkeyDigestBytes * static_cast<std::size_t>(chunks), 0);
        chunkDigest = std::make_unique<TMD4>();
    }
    if (start.Selection & hsFileSpree)
        digests.md5 = std::make_unique<TMD5>();
    if (start.Selection & hsAich)
        digests.aich = std::make_unique<TAichHash>(static_cast<std::uint64_t>(start.Size));
    // No bigger than the file: many small files cost no large buffers.
    const std::size_t blockSize =
        WholeBlocks(static_cast<std::size_t>(std::min<std::int64_t>(options.ReadBlockSize, start.Size + 63)));
    const TLeasedBuffer buffer(blockSize);

    std::string failure;
    for (std::int32_t chunk = 1; chunk <= chunks && failure.empty(); ++chunk) {
        failure = HashChunk(*start.File, start.Size, chunk, buffer.Bytes(), blockSize, digests, chunkDigest.get(),
                            options.Stop);
        if (failure.empty())
            entry.ChunkDone(chunk);
    }
    if (failure.empty() && digests.md5)
        digests.md5->Complete();
    entry.EndRun({.ChunkDigests = digests.chunkDigests,
                  .Md5 = failure.empty() && digests.md5 ? digests.md5->Digest().data() : nullptr,
                  .Aich = digests.aich.get(),
                  .Failure = std::move(failure)});
}

// eDonkey2000 alone: the chunks side by side in lanes.
void HashChunks(TRunEntry &entry, const TRunStart &start, const THashOptions &options, unsigned threads)
{
    std::vector<std::uint8_t> chunkDigests(DonkeyDigestBytes * static_cast<std::size_t>(DonkeyChunkCount(start.Size)));
    TLaneHashOptions laneOptions;
    // 64 KiB a lane, so that a group's blocks stay in the core's own cache:
    // with 1 MiB blocks a 1 GiB file took a quarter more CPU time and 73 MiB.
    laneOptions.ReadBlockSize = std::min<std::size_t>(options.ReadBlockSize, 64 * 1024);
    laneOptions.Stop = options.Stop;
    std::string failure = HashChunksInLanes(*start.File, start.Size, chunkDigests.data(), threads,
                                            [&entry](std::int32_t chunk) { entry.ChunkDone(chunk); }, laneOptions);
    entry.EndRun({.ChunkDigests = chunkDigests, .Failure = std::move(failure)});
}

void HashStarted(TRunEntry &entry, const TRunStart &start, const THashOptions &options)
{
    // eDonkey2000 alone: the chunks are independent streams, hashed side by
    // side. Otherwise MD5 on one thread, MD4 and the AICH tree's SHA-1 on the
    // other: the two sides take about as long, so neither waits much.
    const THashSelection selected = start.Selection;
    const bool chunkLanes = options.Lanes && (selected & hsDonkey) && !(selected & (hsFileSpree | hsAich));
    const bool both = (selected & hsFileSpree) && (selected & (hsDonkey | hsAich));
    if ((chunkLanes || both) && options.Parallel && start.Size >= options.ParallelThreshold) {
        // A second thread only where a core is free for it.
        const THelperToken helper(options.HelperTokens);
        if (helper.Held()) {
            if (chunkLanes) {
                HashChunks(entry, start, options, 2);
                return;
            }
            if (HashOnTwoThreads(entry, start, options.ReadBlockSize, options.Stop))
                return;
        }
    }
    if (chunkLanes)
        HashChunks(entry, start, options, 1);
    else
        HashSequential(entry, start, options);
}

} // namespace

void HashOneFile(TRunEntry &entry, const THashOptions &options)
{
    const TRunStart start = entry.BeginRun(options.Stop);
    if (!start.File)
        return;
    try {
        HashStarted(entry, start, options);
    } catch (...) {
        FailRun(entry, std::current_exception());
        throw;
    }
}
