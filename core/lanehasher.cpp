#include "lanehasher.h"

#include "fileio.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

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

// The result of a file read to its end: the same checks and texts as a
// TDonkeyFile run.
TLaneFileResult Finish(TLaneFile &f, THashSelection selection)
{
    TLaneFileResult result;
    result.Size = f.openedAs.size;
    std::uint8_t probe;
    const std::int64_t extra = f.file.Read(&probe, 1);
    TReadOnlyFile::Identity now;
    if (extra != 0) {
        result.Failure = extra < 0 ? f.file.Error()
                                   : "the file holds more bytes than its size said (it grew, or is no ordinary file)";
    } else if (!f.file.Stat(now) || !(now == f.openedAs)) {
        result.Failure = f.file.Error().empty() ? "the file changed while it was read" : f.file.Error();
    }
    if (!result.Failure.empty())
        return result;

    if (selection & hsDonkey) {
        // A file of an exact number of chunks ends with an empty one.
        CompleteChunk(f);
        if (f.chunkDigests.size() == kDigestBytes) {
            result.DonkeyHash = HexText(f.chunkDigests.data(), kDigestBytes, true);
        } else {
            TMD4 root;
            root.Transform(f.chunkDigests.data(), f.chunkDigests.size());
            root.Complete();
            result.DonkeyHash = HexText(root.Digest().data(), kDigestBytes, true);
        }
    }
    if (selection & hsFileSpree) {
        f.md5.Complete();
        result.FileSpreeHash = HexText(f.md5.Digest().data(), kDigestBytes, false);
    }
    return result;
}

} // namespace

void HashFilesInLanes(const std::vector<std::string> &paths, THashSelection selection,
                      const std::function<void(std::size_t, const TLaneFileResult &)> &onResult,
                      const TLaneHashOptions &options)
{
    const bool donkey = selection & hsDonkey;
    const bool fileSpree = selection & hsFileSpree;
    // Whole blocks, never across a chunk: a chunk's MD4 lane gets whole blocks
    // until the chunk's last piece.
    const std::size_t blockSize =
        std::min<std::size_t>(std::max(options.ReadBlockSize, kSmallestReadBlock) / 64 * 64, DonkeyChunkSize);

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
            if (fileSpree)
                Feed(md5Lanes, f->md5Feed, f->buffer.data(), want);
            if (donkey)
                Feed(md4Lanes, f->md4Feed, f->buffer.data(), want);
        }
        Drain(md5Lanes);
        Drain(md4Lanes);

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
