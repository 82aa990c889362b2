#include "entries/donkeyfile.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "digests/MessageDigests.h"
#include "runs/lanehasher.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t DigestBytes = 16;
constexpr std::size_t MinReadBlock = 64;

// Bytes of chunk `chunk` (1-based) in a file of `size` bytes; the extra chunk of
// a file whose length is a whole number of chunks holds nothing.
std::int64_t ChunkLength(std::int64_t size, std::int32_t chunk)
{
    const std::int64_t start = DonkeyChunkSize * (chunk - 1);
    return std::clamp<std::int64_t>(size - start, 0, DonkeyChunkSize);
}

std::size_t EffectiveBlockSize(std::size_t requested)
{
    // Whole 64-byte blocks, so that both digests compress every read in place.
    const std::size_t block = std::max(requested, MinReadBlock) / MinReadBlock * MinReadBlock;
    return std::min<std::size_t>(block, DonkeyChunkSize);
}

// A read buffer mapped from the system and handed back to it as a whole. From
// the heap, freed blocks of this size would stay in the process (the C library
// raises its mapping threshold once one is freed) and add up over many files.
// Pages start on a cache line and are not touched before the first read.
struct TBlockBuffer
{
    explicit TBlockBuffer(std::size_t size)
        : size(std::max<std::size_t>(size, 1))
    {
#ifdef _WIN32
        bytes = static_cast<std::uint8_t *>(VirtualAlloc(nullptr, this->size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!bytes)
            throw std::bad_alloc();
#else
        void *mapped = ::mmap(nullptr, this->size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        bytes = static_cast<std::uint8_t *>(mapped);
#endif
    }
    ~TBlockBuffer()
    {
#ifdef _WIN32
        VirtualFree(bytes, 0, MEM_RELEASE);
#else
        ::munmap(bytes, size);
#endif
    }
    TBlockBuffer(const TBlockBuffer &) = delete;
    TBlockBuffer &operator=(const TBlockBuffer &) = delete;

    std::size_t size;
    std::uint8_t *bytes = nullptr;
};

// The largest buffer a thread has used, kept for its next run: a job that
// hashes file after file maps its memory once (no page faults, no unmapping
// per file) and holds about what one file needs. It goes with the thread.
thread_local std::unique_ptr<TBlockBuffer> t_spareBuffer;

// A buffer of at least size bytes, from the thread's spare one when it is large
// enough, given back to it when done.
class TLeasedBuffer final
{
public:
    explicit TLeasedBuffer(std::size_t size)
        : m_buffer(t_spareBuffer && t_spareBuffer->size >= size ? std::move(t_spareBuffer)
                                                                : std::make_unique<TBlockBuffer>(size))
    {
    }
    ~TLeasedBuffer()
    {
        if (!t_spareBuffer || t_spareBuffer->size < m_buffer->size)
            t_spareBuffer = std::move(m_buffer);
    }
    TLeasedBuffer(const TLeasedBuffer &) = delete;
    TLeasedBuffer &operator=(const TLeasedBuffer &) = delete;

    std::uint8_t *Bytes() const { return m_buffer->bytes; }

private:
    std::unique_ptr<TBlockBuffer> m_buffer;
};

// Holds one token of a TCoreTokens, if it got one, until it goes.
class THelperToken final
{
public:
    explicit THelperToken(const std::shared_ptr<TCoreTokens> &tokens)
        : m_tokens(tokens && tokens->TryAcquire() ? tokens : nullptr)
    {
    }
    ~THelperToken()
    {
        if (m_tokens)
            m_tokens->Release();
    }
    THelperToken(const THelperToken &) = delete;
    THelperToken &operator=(const THelperToken &) = delete;
    bool Held(const std::shared_ptr<TCoreTokens> &tokens) const { return !tokens || m_tokens; }

private:
    std::shared_ptr<TCoreTokens> m_tokens;
};

} // namespace

std::string DescribeException(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        return "out of memory";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "unexpected failure";
    }
}

namespace {

constexpr const char *ShrankText = "the file shrank while it was read";

} // namespace

void TCoreTokens::Acquire()
{
    std::unique_lock lock(m_mutex);
    m_freed.wait(lock, [this] { return m_free > 0; });
    --m_free;
}

bool TCoreTokens::TryAcquire()
{
    const std::lock_guard lock(m_mutex);
    if (m_free == 0)
        return false;
    --m_free;
    return true;
}

void TCoreTokens::Release()
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_free;
    }
    m_freed.notify_one();
}

TDonkeyFile::TDonkeyFile(const std::string &path, THashSelection selection)
    : m_hashSelection(selection)
    , m_path(path)
    , m_name(path)
{
    OpenFile();
}

TDonkeyFile::TDonkeyFile(const std::string &path, const std::string &replaceSpaceStr,
                         const std::string &nameSuffix, const std::string &namePrefix,
                         THashSelection selection)
    : m_hashSelection(selection)
    , m_path(path)
    , m_namePrefix(namePrefix)
    , m_nameSuffix(nameSuffix)
    , m_replaceSpaceStr(replaceSpaceStr)
    , m_name(path)
{
    OpenFile();
}

TDonkeyFile::~TDonkeyFile() = default;

bool TDonkeyFile::OpenFile()
{
    const bool opened = m_file.Open(m_path) && m_file.Stat(m_openedAs);
    const std::string reason = opened ? std::string() : m_file.Error();
    if (!opened)
        m_file.Close();
    const std::lock_guard lock(m_lock);
    m_currentChunk = 0;
    m_openFailed = m_openFailed || !opened;
    m_donkeyHash = m_fileSpreeHash = m_aichHash = opened ? UnknownText : ErrorText;
    m_partHashes.clear();
    m_size = opened ? m_openedAs.size : 0;
    m_failure = reason;
    m_warning.clear();
    return opened;
}

bool TDonkeyFile::HashFile()
{
    struct CloseOnExit
    {
        TReadOnlyFile &file;
        ~CloseOnExit() { file.Close(); }
    } closeOnExit{m_file};

    if (m_hashSelection == 0 || OpenFailed())
        return false;
    if (!m_file.IsOpen() && !OpenFile())
        return false;
    try {
        ComputeHashes();
    } catch (...) {
        MarkFailed(DescribeException(std::current_exception()));
        throw;
    }
    return true;
}

void TDonkeyFile::MarkFailed(std::string reason)
{
    Publish({.DonkeyHash = std::string(ErrorText), .FileSpreeHash = std::string(ErrorText),
             .AichHash = std::string(ErrorText), .Failure = std::move(reason)});
}

void TDonkeyFile::ComputeHashes()
{
    Publish({.DonkeyHash = {}, .FileSpreeHash = {}});
    m_file.AdviseSequential();

    // eDonkey2000 alone: the chunks are independent streams, hashed side by
    // side. Otherwise MD5 on one thread, MD4 and the AICH tree's SHA-1 on the
    // other: the two sides take about as long, so neither waits much.
    const bool chunkLanes = HashOptions.Lanes && Selected(hsDonkey) && !Selected(hsFileSpree | hsAich);
    const bool both = Selected(hsFileSpree) && Selected(hsDonkey | hsAich);
    if ((chunkLanes || both) && HashOptions.Parallel && Size() >= HashOptions.ParallelThreshold) {
        // A second thread only where a core is free for it.
        const THelperToken helper(HashOptions.HelperTokens);
        if (helper.Held(HashOptions.HelperTokens)) {
            if (chunkLanes)
                HashChunkLanes(2);
            else
                HashParallel();
            return;
        }
    }
    if (chunkLanes)
        HashChunkLanes(1);
    else
        HashSequential();
}

bool TDonkeyFile::HashChunkLanes(unsigned threads)
{
    std::vector<std::uint8_t> chunkDigests(DigestBytes * static_cast<std::size_t>(ChunkCount()));
    TLaneHashOptions options;
    // 64 KiB a lane, so that a group's blocks stay in the core's own cache:
    // with 1 MiB blocks a 1 GiB file took a quarter more CPU time and 73 MiB.
    options.ReadBlockSize = std::min<std::size_t>(HashOptions.ReadBlockSize, 64 * 1024);
    const std::string failure = HashChunksInLanes(m_file, Size(), chunkDigests.data(), threads,
                                                  [this](std::int32_t chunk) { ReportChunk(chunk); }, options);
    if (!failure.empty()) {
        MarkFailed(failure);
        return false;
    }
    if (std::string reason; !EndsWhereExpected(reason)) {
        MarkFailed(std::move(reason));
        return false;
    }
    FinishRun(chunkDigests, nullptr, nullptr);
    return true;
}

TReadOnlyFile *TDonkeyFile::BeginRun()
{
    if (m_hashSelection == 0 || OpenFailed())
        return nullptr;
    if (!m_file.IsOpen() && !OpenFile())
        return nullptr;
    Publish({.DonkeyHash = {}, .FileSpreeHash = {}});
    m_file.AdviseSequential();
    return &m_file;
}

void TDonkeyFile::ChunkDone(std::int32_t chunk)
{
    ReportChunk(chunk);
}

void TDonkeyFile::EndRun(std::span<const std::uint8_t> chunkDigests, const std::uint8_t *md5, TAichHash *aich,
                         std::string failure)
{
    if (failure.empty())
        EndsWhereExpected(failure);
    if (failure.empty())
        FinishRun(chunkDigests, md5, aich);
    else
        MarkFailed(std::move(failure));
    m_file.Close();
}

std::int32_t TDonkeyFile::ChunkCount() const
{
    const std::int64_t chunks = Size() / DonkeyChunkSize + 1;
    return static_cast<std::int32_t>(std::min<std::int64_t>(chunks, INT32_MAX));
}

void TDonkeyFile::SetCurrentChunk(std::int32_t chunk)
{
    const std::lock_guard lock(m_lock);
    m_currentChunk = chunk;
}

void TDonkeyFile::ReportChunk(std::int32_t chunk)
{
    SetCurrentChunk(chunk);
    if (OnNewBlock)
        OnNewBlock(*this);
}

bool TDonkeyFile::EndsWhereExpected(std::string &reason)
{
    // A file that grew, or one that reports a false size (the pseudo-files of
    // /proc say 0 and hold text), still has bytes here.
    std::uint8_t probe;
    std::string error;
    const std::int64_t got = m_file.ReadAt(Size(), &probe, 1, error);
    if (got == 0)
        return true;
    reason = got < 0 ? error : "the file holds more bytes than its size said (it grew, or is no ordinary file)";
    return false;
}

bool TDonkeyFile::HashSequential()
{
    const bool donkey = m_hashSelection & hsDonkey;
    const bool fileSpree = m_hashSelection & hsFileSpree;
    const std::int32_t chunks = ChunkCount();

    // The run's own state, released on every way out.
    struct TRunState
    {
        TDonkeyFile &entry;
        ~TRunState()
        {
            entry.m_chunkDigests.clear();
            entry.m_chunkDigests.shrink_to_fit();
            entry.m_fileSpreeDigest.reset();
            entry.m_aich.reset();
        }
    } runState{*this};
    if (donkey)
        m_chunkDigests.assign(DigestBytes * chunks, 0);
    if (fileSpree)
        m_fileSpreeDigest = std::make_unique<TMD5>();
    if (Selected(hsAich))
        m_aich = std::make_unique<TAichHash>(static_cast<std::uint64_t>(Size()));
    // No bigger than the file: many small files cost no large buffers.
    const std::size_t blockSize = EffectiveBlockSize(
        static_cast<std::size_t>(std::min<std::int64_t>(HashOptions.ReadBlockSize, Size() + 63)));
    const TLeasedBuffer buffer(blockSize);

    for (std::int32_t chunk = 1; chunk <= chunks; ++chunk) {
        if (!HashChunk(chunk, buffer.Bytes(), blockSize))
            return false;
    }
    if (std::string reason; !EndsWhereExpected(reason)) {
        MarkFailed(std::move(reason));
        return false;
    }
    if (fileSpree)
        m_fileSpreeDigest->Complete();
    FinishRun(m_chunkDigests,
              fileSpree ? m_fileSpreeDigest->Digest().data() : nullptr, m_aich.get());
    return true;
}

bool TDonkeyFile::HashChunk(std::int32_t chunk, std::uint8_t *buffer, std::size_t blockSize)
{
    const bool donkey = m_hashSelection & hsDonkey;
    const bool fileSpree = m_hashSelection & hsFileSpree;
    std::unique_ptr<TMD4> chunkDigest = donkey ? std::make_unique<TMD4>() : nullptr;
    SetCurrentChunk(chunk);

    for (std::int64_t left = ChunkLength(Size(), chunk); left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, blockSize));
        const std::int64_t got = m_file.Read(buffer, want);
        if (got != static_cast<std::int64_t>(want)) {
            MarkFailed(got < 0 ? m_file.Error() : ShrankText);
            return false;
        }
        if (donkey)
            chunkDigest->Transform(buffer, want);
        if (fileSpree)
            m_fileSpreeDigest->Transform(buffer, want);
        if (m_aich)
            m_aich->Update(buffer, want);
        left -= static_cast<std::int64_t>(want);
    }
    if (donkey) {
        chunkDigest->Complete();
        std::memcpy(m_chunkDigests.data() + DigestBytes * (chunk - 1), chunkDigest->Digest().data(), DigestBytes);
    }
    ReportChunk(chunk);
    return true;
}

namespace {

// The blocks of one run, passed from the reading thread (which also runs MD4
// and the AICH tree)
// to the thread that runs MD5 and reports the chunks. A slot is refilled only
// once MD5 has taken it; MD4 is done with it before the reader moves on.
class TBlockRing final
{
public:
    struct Slot
    {
        std::uint8_t *bytes = nullptr;
        std::size_t length = 0;
        std::int32_t chunk = 0;
        bool endsChunk = false;
    };

    TBlockRing(std::size_t slots, std::size_t blockSize)
        : m_slots(slots)
        , m_blockSize(blockSize)
        , m_storage(slots * blockSize)
    {
        for (std::size_t i = 0; i < slots; ++i)
            m_slots[i].bytes = m_storage.Bytes() + i * blockSize;
    }

    std::size_t BlockSize() const { return m_blockSize; }
    Slot &At(std::uint64_t sequence) { return m_slots[sequence % m_slots.size()]; }

    // Reader side.
    bool WaitForFreeSlot(std::uint64_t sequence)
    {
        std::unique_lock lock(m_mutex);
        m_consumed.wait(lock, [&] { return m_stop || sequence < m_taken + m_slots.size(); });
        return !m_stop;
    }
    void Publish(std::uint64_t filled)
    {
        {
            std::lock_guard lock(m_mutex);
            m_filled = filled;
        }
        m_produced.notify_one();
    }
    void PublishChunkDigest(std::int32_t chunk)
    {
        {
            std::lock_guard lock(m_mutex);
            m_chunksDigested = chunk;
        }
        m_produced.notify_one();
    }
    void Fail(std::string reason, std::exception_ptr error)
    {
        {
            std::lock_guard lock(m_mutex);
            m_failed = true;
            m_reason = std::move(reason);
            m_error = error;
        }
        m_produced.notify_one();
    }

    // Consumer side: false when the run failed or was stopped.
    bool WaitForBlock(std::uint64_t sequence)
    {
        std::unique_lock lock(m_mutex);
        m_produced.wait(lock, [&] { return m_failed || sequence < m_filled; });
        return sequence < m_filled;
    }
    bool WaitForChunkDigest(std::int32_t chunk)
    {
        std::unique_lock lock(m_mutex);
        m_produced.wait(lock, [&] { return m_failed || chunk <= m_chunksDigested; });
        return chunk <= m_chunksDigested;
    }
    void Release(std::uint64_t taken)
    {
        {
            std::lock_guard lock(m_mutex);
            m_taken = taken;
        }
        m_consumed.notify_one();
    }
    void Stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_consumed.notify_one();
    }

    bool Failed(std::string &reason, std::exception_ptr &error)
    {
        std::lock_guard lock(m_mutex);
        reason = m_reason;
        error = m_error;
        return m_failed;
    }

private:
    std::vector<Slot> m_slots;
    std::size_t m_blockSize;
    TLeasedBuffer m_storage;

    std::mutex m_mutex;
    std::condition_variable m_produced;
    std::condition_variable m_consumed;
    std::uint64_t m_filled = 0;
    std::uint64_t m_taken = 0;
    std::int32_t m_chunksDigested = 0;
    bool m_stop = false;
    bool m_failed = false;
    std::string m_reason;
    std::exception_ptr m_error;
};

} // namespace

bool TDonkeyFile::HashParallel()
{
    const std::int64_t size = Size();
    const std::int32_t chunks = ChunkCount();
    const std::size_t blockSize = EffectiveBlockSize(HashOptions.ReadBlockSize);
    // About 16 MiB in flight: enough for MD5 never to wait for a read.
    const std::size_t slots = std::clamp<std::size_t>((16u << 20) / blockSize, 4, 64);

    const bool donkey = Selected(hsDonkey);
    std::vector<std::uint8_t> chunkDigests(donkey ? DigestBytes * chunks : 0);
    TBlockRing ring(slots, blockSize);
    TMD5 fileSpreeDigest;
    std::unique_ptr<TAichHash> aich =
        Selected(hsAich) ? std::make_unique<TAichHash>(static_cast<std::uint64_t>(size)) : nullptr;
    // With the AICH tree's SHA-1 on the reading thread, the reader would
    // carry more than MD5's thread: that one takes the MD4 of one chunk in
    // eight (the 2nd, the 10th...), which evens the two out.
    const auto md4OnMd5Thread = [donkey, withAich = aich != nullptr](std::int32_t chunk) {
        return donkey && withAich && chunk % 8 == 2;
    };

    // The reader: reads each chunk in blocks, runs MD4 and the AICH tree over
    // them and keeps the chunk digests. It stops at the first short read or error.
    auto readAndDigest = [&](std::stop_token) {
        try {
            TMD4 chunkDigest;
            std::uint64_t sequence = 0;
            for (std::int32_t chunk = 1; chunk <= chunks; ++chunk) {
                chunkDigest.Initialize();
                const bool md4Here = donkey && !md4OnMd5Thread(chunk);
                std::int64_t left = ChunkLength(size, chunk);
                do {
                    if (!ring.WaitForFreeSlot(sequence))
                        return;
                    TBlockRing::Slot &slot = ring.At(sequence);
                    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, blockSize));
                    const std::int64_t got = want ? m_file.Read(slot.bytes, want) : 0;
                    if (got != static_cast<std::int64_t>(want)) {
                        ring.Fail(got < 0 ? m_file.Error() : ShrankText, nullptr);
                        return;
                    }
                    left -= static_cast<std::int64_t>(want);
                    slot.length = want;
                    slot.chunk = chunk;
                    slot.endsChunk = left == 0;
                    ring.Publish(++sequence);
                    if (md4Here)
                        chunkDigest.Transform(slot.bytes, want);
                    if (aich)
                        aich->Update(slot.bytes, want);
                } while (left > 0);
                if (md4Here) {
                    chunkDigest.Complete();
                    std::memcpy(chunkDigests.data() + DigestBytes * (chunk - 1), chunkDigest.Digest().data(),
                                DigestBytes);
                }
                if (std::string reason; chunk == chunks && !EndsWhereExpected(reason)) {
                    ring.Fail(std::move(reason), nullptr);
                    return;
                }
                ring.PublishChunkDigest(chunk);
            }
        } catch (...) {
            ring.Fail({}, std::current_exception());
        }
    };

    bool ok = true;
    {
        std::jthread reader;
        try {
            reader = std::jthread(readAndDigest);
        } catch (const std::system_error &) {
            // No second thread to be had: the run goes on in this one alone.
            return HashSequential();
        }
        struct StopReader
        {
            TBlockRing &ring;
            ~StopReader() { ring.Stop(); }
        } stopReader{ring}; // runs before the reader is joined, also on an exception

        TMD4 ownChunkDigest;
        std::int32_t ownChunk = 0;
        for (std::uint64_t sequence = 0;; ++sequence) {
            if (!ring.WaitForBlock(sequence)) {
                ok = false;
                break;
            }
            const TBlockRing::Slot slot = ring.At(sequence);
            SetCurrentChunk(slot.chunk);
            fileSpreeDigest.Transform(slot.bytes, slot.length);
            const bool md4Here = md4OnMd5Thread(slot.chunk);
            if (md4Here) {
                if (ownChunk != slot.chunk)
                    ownChunkDigest.Initialize();
                ownChunk = slot.chunk;
                ownChunkDigest.Transform(slot.bytes, slot.length);
            }
            ring.Release(sequence + 1);
            if (slot.endsChunk) {
                if (md4Here) {
                    ownChunkDigest.Complete();
                    std::memcpy(chunkDigests.data() + DigestBytes * (slot.chunk - 1), ownChunkDigest.Digest().data(),
                                DigestBytes);
                }
                if (!ring.WaitForChunkDigest(slot.chunk)) {
                    ok = false;
                    break;
                }
                ReportChunk(slot.chunk);
                if (slot.chunk == chunks)
                    break;
            }
        }
    }

    std::string reason;
    std::exception_ptr error;
    if (ring.Failed(reason, error) && error)
        std::rethrow_exception(error);
    if (!ok) {
        MarkFailed(std::move(reason));
        return false;
    }
    fileSpreeDigest.Complete();
    FinishRun(chunkDigests, fileSpreeDigest.Digest().data(), aich.get());
    return true;
}

void TDonkeyFile::FinishRun(std::span<const std::uint8_t> chunkDigests, const std::uint8_t *md5, TAichHash *aich)
{
    // A file that changed under the reads would give hashes of no real content;
    // the change time shows a rewrite whose modification time was put back.
    TReadOnlyFile::Identity now;
    if (!m_file.Stat(now) || !(now == m_openedAs)) {
        MarkFailed(m_file.Error().empty() ? "the file changed while it was read" : m_file.Error());
        return;
    }
    const std::int32_t chunks = ChunkCount();
    const bool donkey = Selected(hsDonkey);
    if (chunkDigests.size() != (donkey ? DigestBytes * static_cast<std::size_t>(chunks) : 0)) {
        // A run that lost or added a chunk would publish a wrong hash.
        MarkFailed("the run hashed " + std::to_string(chunkDigests.size() / DigestBytes) + " of "
                   + std::to_string(chunks) + " chunks");
        return;
    }
    std::string donkeyHash;
    std::string partHashes;
    if (donkey) {
        if (chunks > 1 && Selected(hsPartHashes)) {
            partHashes.reserve(static_cast<std::size_t>(chunks) * (2 * DigestBytes + 1));
            for (std::int32_t chunk = 0; chunk < chunks; ++chunk) {
                if (chunk > 0)
                    partHashes += ':';
                partHashes += HexText(chunkDigests.data() + DigestBytes * chunk, DigestBytes, true);
            }
        }
        if (chunks == 1) {
            donkeyHash = HexText(chunkDigests.data(), DigestBytes, true);
        } else {
            TMD4 root;
            root.Transform(chunkDigests.data(), chunkDigests.size());
            root.Complete();
            donkeyHash = HexText(root.Digest().data(), DigestBytes, true);
        }
    }
    const std::string fileSpree = md5 ? HexText(md5, DigestBytes, false) : std::string();
    std::string aichText;
    if (aich) {
        const TAichDigest root = aich->Root();
        aichText = Base32Text(root.data(), root.size());
    }
    Publish({.DonkeyHash = std::move(donkeyHash), .FileSpreeHash = fileSpree, .AichHash = std::move(aichText),
             .PartHashes = std::move(partHashes)});
}

std::string DisplayNameOf(std::string_view name)
{
#ifdef _WIN32
    // A drive or a folder of either slash: no Windows file name holds one.
    constexpr std::string_view separators = "\\:/";
    constexpr std::string_view trailing = "\\/";
#else
    constexpr std::string_view separators = "/";
    constexpr std::string_view trailing = "/";
#endif
    // A folder given with separators at its end ("a/b/") is named after its
    // last component; a root, which has none, keeps the name as given.
    const auto last = name.find_last_not_of(trailing);
    const std::string_view kept = last == std::string_view::npos ? name : name.substr(0, last + 1);
    const auto cut = kept.find_last_of(separators);
    const std::string_view component = cut == std::string_view::npos ? kept : kept.substr(cut + 1);
    return std::string(component.empty() ? name : component);
}

std::string TDonkeyFile::DisplayName() const
{
    return DisplayNameOf(Name());
}

std::string TEntrySnapshot::DonkeyHashText() const
{
    return (HashSelection & hsDonkey) ? DonkeyHash : std::string(NotAvailableText);
}

std::string TEntrySnapshot::FileSpreeHashText() const
{
    return (HashSelection & hsFileSpree) ? FileSpreeHash : std::string(NotAvailableText);
}

std::string TEntrySnapshot::AichHashText() const
{
    return (HashSelection & hsAich) ? AichHash : std::string(NotAvailableText);
}

void TDonkeyFile::FillSnapshot(TEntrySnapshot &snapshot) const
{
    snapshot.Name = m_name;
    snapshot.DisplayName = DisplayNameOf(m_name);
    snapshot.Size = m_size;
    snapshot.DonkeyHash = m_donkeyHash;
    snapshot.FileSpreeHash = m_fileSpreeHash;
    snapshot.AichHash = m_aichHash;
    snapshot.PartHashes = m_partHashes;
    snapshot.HashSelection = m_hashSelection;
    snapshot.OpenFailed = m_openFailed;
    snapshot.CurrentChunk = m_currentChunk;
    snapshot.Failure = m_failure;
    snapshot.Warning = m_warning;
}

TEntrySnapshot TDonkeyFile::Snapshot() const
{
    TEntrySnapshot snapshot;
    std::lock_guard lock(m_lock);
    FillSnapshot(snapshot);
    return snapshot;
}

std::string TDonkeyFile::DonkeyHashText() const
{
    return (m_hashSelection & hsDonkey) ? DonkeyHash() : std::string(NotAvailableText);
}

std::string TDonkeyFile::FileSpreeHashText() const
{
    return (m_hashSelection & hsFileSpree) ? FileSpreeHash() : std::string(NotAvailableText);
}

std::string TDonkeyFile::Name() const
{
    std::lock_guard lock(m_lock);
    return m_name;
}

std::int64_t TDonkeyFile::Size() const
{
    std::lock_guard lock(m_lock);
    return m_size;
}

std::string TDonkeyFile::DonkeyHash() const
{
    std::lock_guard lock(m_lock);
    return m_donkeyHash;
}

std::string TDonkeyFile::FileSpreeHash() const
{
    std::lock_guard lock(m_lock);
    return m_fileSpreeHash;
}

std::string TDonkeyFile::AichHash() const
{
    std::lock_guard lock(m_lock);
    return m_aichHash;
}

std::string TDonkeyFile::PartHashes() const
{
    std::lock_guard lock(m_lock);
    return m_partHashes;
}

std::string TDonkeyFile::AichHashText() const
{
    return Selected(hsAich) ? AichHash() : std::string(NotAvailableText);
}

std::string TDonkeyFile::Failure() const
{
    std::lock_guard lock(m_lock);
    return m_failure;
}

std::string TDonkeyFile::Warning() const
{
    std::lock_guard lock(m_lock);
    return m_warning;
}

bool TDonkeyFile::OpenFailed() const
{
    std::lock_guard lock(m_lock);
    return m_openFailed;
}

std::int32_t TDonkeyFile::CurrentChunk() const
{
    std::lock_guard lock(m_lock);
    return m_currentChunk;
}

void TDonkeyFile::Publish(TReadResult result, const std::function<void()> &more)
{
    std::lock_guard lock(m_lock);
    if (result.Name)
        m_name = std::move(*result.Name);
    if (result.Size)
        m_size = *result.Size;
    m_donkeyHash = std::move(result.DonkeyHash);
    m_fileSpreeHash = std::move(result.FileSpreeHash);
    m_aichHash = std::move(result.AichHash);
    m_partHashes = std::move(result.PartHashes);
    m_failure = std::move(result.Failure);
    m_warning = std::move(result.Warning);
    if (more)
        more();
}
