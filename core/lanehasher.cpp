#include "lanehasher.h"

#include "fileio.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <thread>

namespace {

constexpr std::size_t kSmallestReadBlock = 256 * 1024;
constexpr std::size_t kDigestBytes = 16;

// One file in the lanes: its reader, its digests and the block just read.
struct TLaneFile
{
    explicit TLaneFile(std::size_t index)
        : index(index)
    {
    }

    std::size_t index;
    TReadOnlyFile file;
    TReadOnlyFile::Identity openedAs;
    std::int64_t done = 0;
    TMD5 md5;
    TMD4 chunk;
    std::vector<std::uint8_t> chunkDigests;
    TLaneFeed md5Feed{md5};
    TLaneFeed md4Feed{chunk};
    std::vector<std::uint8_t> buffer;
    std::size_t got = 0;
    std::string failure;
};

// Submits a feed's job if it has blocks; finishes whatever job comes back.
void Feed(TLaneManager &manager, TLaneFeed &feed, const std::uint8_t *data, std::size_t count)
{
    if (!feed.Start(data, count))
        return;
    if (TLaneJob *done = manager.Submit(&feed.Job()))
        static_cast<TLaneFeed *>(done->UserData)->Finish();
}

void Drain(TLaneManager &manager)
{
    while (TLaneJob *done = manager.Flush())
        static_cast<TLaneFeed *>(done->UserData)->Finish();
}

void CompleteChunk(TLaneFile &f)
{
    f.chunk.Complete();
    const auto digest = f.chunk.Digest();
    f.chunkDigests.insert(f.chunkDigests.end(), digest.begin(), digest.end());
    f.chunk.Initialize();
}

// Why a file read to its end gives no result, as a TDonkeyFile run would
// say; empty when it read through unchanged.
std::string CheckEnd(TReadOnlyFile &file, const TReadOnlyFile::Identity &openedAs)
{
    std::uint8_t probe;
    const std::int64_t extra = file.Read(&probe, 1);
    if (extra != 0)
        return extra < 0 ? file.Error()
                         : "the file holds more bytes than its size said (it grew, or is no ordinary file)";
    TReadOnlyFile::Identity now;
    if (!file.Stat(now) || !(now == openedAs))
        return file.Error().empty() ? "the file changed while it was read" : file.Error();
    return {};
}

// The eDonkey2000 hash from the chunk digests: the only one's own, or the MD4
// over all of them.
std::string DonkeyText(const std::vector<std::uint8_t> &chunkDigests)
{
    if (chunkDigests.size() == kDigestBytes)
        return HexText(chunkDigests.data(), kDigestBytes, true);
    TMD4 root;
    root.Transform(chunkDigests.data(), chunkDigests.size());
    root.Complete();
    return HexText(root.Digest().data(), kDigestBytes, true);
}

TLaneFileResult Finish(TLaneFile &f, THashSelection selection)
{
    TLaneFileResult result;
    result.Size = f.openedAs.size;
    result.Failure = CheckEnd(f.file, f.openedAs);
    if (!result.Failure.empty())
        return result;
    if (selection & hsDonkey) {
        // A file of an exact number of chunks ends with an empty one.
        CompleteChunk(f);
        result.DonkeyHash = DonkeyText(f.chunkDigests);
    }
    if (selection & hsFileSpree) {
        f.md5.Complete();
        result.FileSpreeHash = HexText(f.md5.Digest().data(), kDigestBytes, false);
    }
    return result;
}

std::size_t ReadBlockBytes(const TLaneHashOptions &options)
{
    // Whole blocks, never across a chunk: a chunk's MD4 lane gets whole blocks
    // until the chunk's last piece.
    return std::min<std::size_t>(std::max(options.ReadBlockSize, kSmallestReadBlock) / 64 * 64, DonkeyChunkSize);
}

} // namespace

void HashFilesInLanes(const std::vector<std::string> &paths, THashSelection selection,
                      const std::function<void(std::size_t, const TLaneFileResult &)> &onResult,
                      const TLaneHashOptions &options)
{
    const bool donkey = selection & hsDonkey;
    const bool fileSpree = selection & hsFileSpree;
    const std::size_t blockSize = ReadBlockBytes(options);

    TLaneManager md5Lanes(TLaneAlgorithm::MD5, options.Engine);
    TLaneManager md4Lanes(TLaneAlgorithm::MD4, options.Engine);
    const std::size_t width = static_cast<std::size_t>(md5Lanes.Lanes());
    // Files finished ahead of an earlier, longer one wait for it; no more than
    // this many paths are opened past the first one not yet reported.
    const std::size_t lookAhead = 4 * width;

    std::vector<std::unique_ptr<TLaneFile>> active;
    std::map<std::size_t, TLaneFileResult> waiting;
    std::size_t next = 0;
    std::size_t reported = 0;

    auto report = [&] {
        for (auto it = waiting.begin(); it != waiting.end() && it->first == reported; it = waiting.erase(it)) {
            onResult(it->first, it->second);
            ++reported;
        }
    };

    while (reported < paths.size()) {
        while (active.size() < width && next < paths.size() && next < reported + lookAhead) {
            auto f = std::make_unique<TLaneFile>(next);
            if (selection == 0 || !f->file.Open(paths[next]) || !f->file.Stat(f->openedAs)) {
                TLaneFileResult failed;
                failed.Failure = selection == 0 ? "no hash selected" : f->file.Error();
                waiting.emplace(next, std::move(failed));
            } else {
                f->file.AdviseSequential();
                f->buffer.resize(static_cast<std::size_t>(
                    std::min<std::int64_t>(static_cast<std::int64_t>(blockSize), f->openedAs.size)));
                active.push_back(std::move(f));
            }
            ++next;
        }

        // One round: a block from every file, then the lanes run until every
        // block is taken.
        std::vector<TLaneFile *> fed;
        for (auto &f : active) {
            const std::int64_t chunkLeft = DonkeyChunkSize - f->done % DonkeyChunkSize;
            const auto want = static_cast<std::size_t>(
                std::min({chunkLeft, f->openedAs.size - f->done, static_cast<std::int64_t>(blockSize)}));
            f->got = want;
            if (want == 0)
                continue;
            const std::int64_t got = f->file.Read(f->buffer.data(), want);
            if (got != static_cast<std::int64_t>(want)) {
                f->failure = got < 0 ? f->file.Error() : "the file shrank while it was read";
                f->got = 0;
                continue;
            }
            fed.push_back(f.get());
        }
        auto runLanes = [&fed](TLaneManager &lanes, TLaneFeed TLaneFile::*feed) {
            for (TLaneFile *f : fed)
                Feed(lanes, f->*feed, f->buffer.data(), f->got);
            Drain(lanes);
        };
        if (donkey && fileSpree && options.Parallel) {
            // The two digests of a file share only the bytes they read.
            std::exception_ptr md5Failure;
            {
                const std::jthread md5Thread([&] {
                    try {
                        runLanes(md5Lanes, &TLaneFile::md5Feed);
                    } catch (...) {
                        md5Failure = std::current_exception();
                    }
                });
                runLanes(md4Lanes, &TLaneFile::md4Feed);
            }
            if (md5Failure)
                std::rethrow_exception(md5Failure);
        } else {
            if (fileSpree)
                runLanes(md5Lanes, &TLaneFile::md5Feed);
            if (donkey)
                runLanes(md4Lanes, &TLaneFile::md4Feed);
        }

        for (auto &f : active) {
            f->done += static_cast<std::int64_t>(f->got);
            if (donkey && f->got > 0 && f->done % DonkeyChunkSize == 0)
                CompleteChunk(*f);
            if (!f->failure.empty()) {
                TLaneFileResult failed;
                failed.Size = f->openedAs.size;
                failed.Failure = f->failure;
                waiting.emplace(f->index, std::move(failed));
            } else if (f->done == f->openedAs.size) {
                waiting.emplace(f->index, Finish(*f, selection));
            } else {
                continue;
            }
            f.reset();
        }
        std::erase(active, nullptr);
        report();
    }
}

TLaneFileResult HashChunksInLanes(const std::string &path, const std::function<void(std::int32_t)> &onChunk,
                                  const TLaneHashOptions &options)
{
    TLaneFileResult result;
    TReadOnlyFile file;
    TReadOnlyFile::Identity openedAs;
    if (!file.Open(path) || !file.Stat(openedAs)) {
        result.Failure = file.Error();
        return result;
    }
    result.Size = openedAs.size;
    const std::size_t blockSize = ReadBlockBytes(options);
    const std::int64_t chunks = openedAs.size / DonkeyChunkSize + 1;
    std::vector<std::uint8_t> chunkDigests;
    chunkDigests.reserve(static_cast<std::size_t>(chunks) * kDigestBytes);

    TLaneManager lanes(TLaneAlgorithm::MD4, options.Engine);
    const auto width = static_cast<std::int64_t>(lanes.Lanes());
    std::vector<std::uint8_t> buffers(static_cast<std::size_t>(
        std::min<std::int64_t>(width * static_cast<std::int64_t>(blockSize), std::max<std::int64_t>(openedAs.size, 1))));

    struct TChunkLane
    {
        TMD4 digest;
        TLaneFeed feed{digest};
        std::int64_t start = 0;
        std::int64_t length = 0;
        std::int64_t done = 0;
    };
    // A group of chunks side by side, a block of each per round; every chunk
    // but the file's last is full, so a group ends together.
    for (std::int64_t first = 0; first < chunks; first += width) {
        const std::int64_t count = std::min(width, chunks - first);
        std::vector<std::unique_ptr<TChunkLane>> group;
        for (std::int64_t i = 0; i < count; ++i) {
            auto lane = std::make_unique<TChunkLane>();
            lane->start = (first + i) * DonkeyChunkSize;
            lane->length = std::min<std::int64_t>(DonkeyChunkSize, openedAs.size - lane->start);
            group.push_back(std::move(lane));
        }
        for (bool more = true; more;) {
            more = false;
            std::uint8_t *buffer = buffers.data();
            for (auto &lane : group) {
                const auto want =
                    static_cast<std::size_t>(std::min<std::int64_t>(lane->length - lane->done, blockSize));
                if (want == 0)
                    continue;
                const std::int64_t got =
                    file.Seek(lane->start + lane->done) ? file.Read(buffer, want) : std::int64_t{-1};
                if (got != static_cast<std::int64_t>(want)) {
                    Drain(lanes);
                    result.Failure = got < 0 ? file.Error() : "the file shrank while it was read";
                    return result;
                }
                Feed(lanes, lane->feed, buffer, want);
                lane->done += static_cast<std::int64_t>(want);
                buffer += want;
                more = more || lane->done < lane->length;
            }
            Drain(lanes);
        }
        for (std::int64_t i = 0; i < count; ++i) {
            TMD4 &digest = group[static_cast<std::size_t>(i)]->digest;
            digest.Complete();
            chunkDigests.insert(chunkDigests.end(), digest.Digest().begin(), digest.Digest().end());
            if (onChunk)
                onChunk(static_cast<std::int32_t>(first + i + 1));
        }
    }

    if (!file.Seek(openedAs.size)) {
        result.Failure = file.Error();
        return result;
    }
    result.Failure = CheckEnd(file, openedAs);
    if (result.Failure.empty())
        result.DonkeyHash = DonkeyText(chunkDigests);
    return result;
}
