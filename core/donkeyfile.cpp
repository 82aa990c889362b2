#include "donkeyfile.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "MessageDigests.h"

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

// A read buffer that starts on a cache line of its own.
struct TBlockBuffer
{
    explicit TBlockBuffer(std::size_t size)
        : bytes(new (std::align_val_t(64)) std::uint8_t[size])
    {
    }
    ~TBlockBuffer() { ::operator delete[](bytes, std::align_val_t(64)); }
    TBlockBuffer(const TBlockBuffer &) = delete;
    TBlockBuffer &operator=(const TBlockBuffer &) = delete;

    std::uint8_t *bytes;
};

} // namespace

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
    SetHashTexts(UnknownText, UnknownText);
    m_currentChunk = 0;
    if (m_file.Open(m_path) && m_file.Stat(m_openedAs)) {
        SetSize(m_openedAs.size);
        SetFailure({});
        return true;
    }
    const std::string reason = m_file.Error();
    m_file.Close();
    m_openFailed = true;
    SetHashTexts(ErrorText, ErrorText);
    SetSize(0);
    SetFailure(reason);
    return false;
}

bool TDonkeyFile::HashFile()
{
    struct CloseOnExit
    {
        TReadOnlyFile &file;
        ~CloseOnExit() { file.Close(); }
    } closeOnExit{m_file};

    if (m_hashSelection == 0 || m_openFailed)
        return false;
    if (!m_file.IsOpen() && !OpenFile())
        return false;
    ComputeHashes();
    return true;
}

void TDonkeyFile::ComputeHashes()
{
    SetHashTexts({}, {});
    SetFailure({});
    m_file.AdviseSequential();

    const bool both = (m_hashSelection & hsAll) == hsAll;
    if (both && HashOptions.Parallel && Size() >= HashOptions.ParallelThreshold)
        HashParallel();
    else
        HashSequential();
}

std::int32_t TDonkeyFile::ChunkCount() const
{
    const std::int64_t chunks = Size() / DonkeyChunkSize + 1;
    return static_cast<std::int32_t>(std::min<std::int64_t>(chunks, INT32_MAX));
}

void TDonkeyFile::ReportChunk(std::int32_t chunk)
{
    m_currentChunk = chunk;
    if (OnNewBlock)
        OnNewBlock(*this);
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
            entry.m_readBuffer.reset();
        }
    } runState{*this};
    if (donkey)
        m_chunkDigests.assign(DigestBytes * chunks, 0);
    if (fileSpree)
        m_fileSpreeDigest = std::make_unique<TMD5>();
    // No bigger than the file: many small files cost no large buffers.
    m_readBlockSize = EffectiveBlockSize(
        static_cast<std::size_t>(std::min<std::int64_t>(HashOptions.ReadBlockSize, Size() + 63)));
    m_readBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(m_readBlockSize);

    for (m_currentChunk = 1; m_currentChunk <= chunks; ++m_currentChunk) {
        if (!HashChunk())
            return false;
    }
    m_currentChunk = chunks;
    if (fileSpree)
        m_fileSpreeDigest->Complete();
    FinishRun(true, donkey ? m_chunkDigests.data() : nullptr,
              fileSpree ? m_fileSpreeDigest->Digest().data() : nullptr);
    return true;
}

bool TDonkeyFile::HashChunk()
{
    const bool donkey = m_hashSelection & hsDonkey;
    const bool fileSpree = m_hashSelection & hsFileSpree;
    std::uint8_t *const buffer = m_readBuffer.get();
    std::unique_ptr<TMD4> chunkDigest = donkey ? std::make_unique<TMD4>() : nullptr;

    for (std::int64_t left = ChunkLength(Size(), m_currentChunk); left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, m_readBlockSize));
        const std::int64_t got = m_file.Read(buffer, want);
        if (got != static_cast<std::int64_t>(want)) {
            FinishRun(false, nullptr, nullptr);
            SetFailure(got < 0 ? m_file.Error() : "the file shrank while it was read");
            return false;
        }
        if (donkey)
            chunkDigest->Transform(buffer, want);
        if (fileSpree)
            m_fileSpreeDigest->Transform(buffer, want);
        left -= static_cast<std::int64_t>(want);
    }
    if (donkey) {
        chunkDigest->Complete();
        std::memcpy(m_chunkDigests.data() + DigestBytes * (m_currentChunk - 1), chunkDigest->Digest().data(),
                    DigestBytes);
    }
    ReportChunk(m_currentChunk);
    return true;
}

namespace {

// The blocks of one run, passed from the reading thread (which also runs MD4)
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
            m_slots[i].bytes = m_storage.bytes + i * blockSize;
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
    TBlockBuffer m_storage;

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

    std::vector<std::uint8_t> chunkDigests(DigestBytes * chunks);
    TBlockRing ring(slots, blockSize);
    TMD5 fileSpreeDigest;

    // The reader: reads each chunk in blocks, runs MD4 over them and keeps the
    // chunk digests. It stops at the first short read or error.
    auto readAndDigest = [&](std::stop_token) {
        try {
            TMD4 chunkDigest;
            std::uint64_t sequence = 0;
            for (std::int32_t chunk = 1; chunk <= chunks; ++chunk) {
                chunkDigest.Initialize();
                std::int64_t left = ChunkLength(size, chunk);
                do {
                    if (!ring.WaitForFreeSlot(sequence))
                        return;
                    TBlockRing::Slot &slot = ring.At(sequence);
                    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, blockSize));
                    const std::int64_t got = want ? m_file.Read(slot.bytes, want) : 0;
                    if (got != static_cast<std::int64_t>(want)) {
                        ring.Fail(got < 0 ? m_file.Error() : "the file shrank while it was read", nullptr);
                        return;
                    }
                    left -= static_cast<std::int64_t>(want);
                    slot.length = want;
                    slot.chunk = chunk;
                    slot.endsChunk = left == 0;
                    ring.Publish(++sequence);
                    chunkDigest.Transform(slot.bytes, want);
                } while (left > 0);
                chunkDigest.Complete();
                std::memcpy(chunkDigests.data() + DigestBytes * (chunk - 1), chunkDigest.Digest().data(), DigestBytes);
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

        for (std::uint64_t sequence = 0;; ++sequence) {
            if (!ring.WaitForBlock(sequence)) {
                ok = false;
                break;
            }
            const TBlockRing::Slot slot = ring.At(sequence);
            m_currentChunk = slot.chunk;
            fileSpreeDigest.Transform(slot.bytes, slot.length);
            ring.Release(sequence + 1);
            if (slot.endsChunk) {
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
        FinishRun(false, nullptr, nullptr);
        SetFailure(reason);
        return false;
    }
    fileSpreeDigest.Complete();
    FinishRun(true, chunkDigests.data(), fileSpreeDigest.Digest().data());
    return true;
}

void TDonkeyFile::FinishRun(bool ok, const std::uint8_t *chunkDigests, const std::uint8_t *md5)
{
    // A file that changed under the reads would give hashes of no real content.
    TReadOnlyFile::Identity now;
    if (ok && (!m_file.Stat(now) || !(now == m_openedAs))) {
        ok = false;
        SetFailure(m_file.Error().empty() ? "the file changed while it was read" : m_file.Error());
    }
    if (!ok) {
        SetHashTexts(ErrorText, ErrorText);
        return;
    }
    std::string donkey;
    if (chunkDigests) {
        const std::int32_t chunks = ChunkCount();
        if (chunks == 1) {
            donkey = HexText(chunkDigests, DigestBytes, true);
        } else {
            TMD4 root;
            root.Transform(chunkDigests, DigestBytes * chunks);
            root.Complete();
            donkey = HexText(root.Digest().data(), DigestBytes, true);
        }
    }
    const std::string fileSpree = md5 ? HexText(md5, DigestBytes, false) : std::string();
    SetHashTexts(donkey, fileSpree);
}

std::string DisplayNameOf(std::string_view name)
{
#ifdef _WIN32
    const auto cut = name.find_last_of("\\:");
#else
    const auto cut = name.find_last_of('/');
#endif
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
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

void TDonkeyFile::FillSnapshot(TEntrySnapshot &snapshot) const
{
    snapshot.Name = m_name;
    snapshot.DisplayName = DisplayNameOf(m_name);
    snapshot.Size = m_size;
    snapshot.DonkeyHash = m_donkeyHash;
    snapshot.FileSpreeHash = m_fileSpreeHash;
    snapshot.HashSelection = m_hashSelection;
    snapshot.OpenFailed = m_openFailed;
    snapshot.CurrentChunk = m_currentChunk;
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

std::string TDonkeyFile::Failure() const
{
    std::lock_guard lock(m_lock);
    return m_failure;
}

void TDonkeyFile::SetName(std::string name)
{
    std::lock_guard lock(m_lock);
    m_name = std::move(name);
}

void TDonkeyFile::SetSize(std::int64_t size)
{
    std::lock_guard lock(m_lock);
    m_size = size;
}

void TDonkeyFile::SetDonkeyHash(std::string text)
{
    std::lock_guard lock(m_lock);
    m_donkeyHash = std::move(text);
}

void TDonkeyFile::SetFileSpreeHash(std::string text)
{
    std::lock_guard lock(m_lock);
    m_fileSpreeHash = std::move(text);
}

void TDonkeyFile::SetHashTexts(std::string_view donkey, std::string_view fileSpree)
{
    std::lock_guard lock(m_lock);
    m_donkeyHash = donkey;
    m_fileSpreeHash = fileSpree;
}

void TDonkeyFile::SetFailure(std::string reason)
{
    std::lock_guard lock(m_lock);
    m_failure = std::move(reason);
}
