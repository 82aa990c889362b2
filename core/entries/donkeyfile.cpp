#include "entries/donkeyfile.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "digests/MessageDigests.h"
#include "digests/aich.h"
#include "digests/ed2k.h"
#include "runs/onefile.h"

TDonkeyFile::TDonkeyFile(const std::string &path, THashSelection selection)
    : m_hashSelection(selection)
    , m_path(path)
    , m_name(path)
{
    OpenFile();
}

TDonkeyFile::TDonkeyFile(const std::string &path, const std::string &replaceSpaceStr,
                         const std::string &nameSuffix, const std::string &namePrefix,
                         THashSelection selection, TListedAs listed)
    : m_listedAs(listed)
    , m_hashSelection(selection)
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
    const bool opened = m_file.Open(m_path, &m_openedAs, std::exchange(m_listedAs, TListedAs::Unknown));
    const std::string reason = opened ? std::string() : m_file.Error();
    if (!opened)
        m_file.Close();
    const std::lock_guard lock(m_lock);
    m_currentChunk = 0;
    // Out of descriptors, the file may open once others are closed: the
    // entry shows the failure but may be opened again.
    m_openFailed = m_openFailed || (!opened && !m_file.ShortOfHandles());
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
    HashOneFile(*this, HashOptions);
}

TRunStart TDonkeyFile::BeginRun(const std::atomic<bool> *stop)
{
    if (m_hashSelection == 0 || OpenFailed()) {
        m_file.Close();
        return {};
    }
    if (!m_file.IsOpen() && !OpenFile())
        return {.ShortOfHandles = m_file.ShortOfHandles()};
    Publish({.DonkeyHash = {}, .FileSpreeHash = {}});
    {
        const std::lock_guard lock(m_lock);
        m_currentChunk = 0;
    }
    // From here on a write to the file shows in its times (EndRun compares
    // them with those measured at opening).
    if (std::string reason = m_file.Settle(m_openedAs, stop); !reason.empty()) {
        MarkFailed(std::move(reason));
        m_file.Close();
        return {};
    }
    // A small file is read in a read or two: read-ahead advice gains nothing
    // there, and costs a system call a file.
    constexpr std::int64_t AdviceFrom = 256 * 1024;
    const std::int64_t size = Size();
    if (size >= AdviceFrom)
        m_file.AdviseSequential();
    return {.File = &m_file, .Size = size, .Selection = m_hashSelection};
}

void TDonkeyFile::ChunkDone(std::int32_t chunk)
{
    {
        const std::lock_guard lock(m_lock);
        m_currentChunk = chunk;
    }
    if (OnNewBlock)
        OnNewBlock(*this);
}

void TDonkeyFile::EndRun(TRunEnd end)
{
    struct CloseOnExit
    {
        TReadOnlyFile &file;
        ~CloseOnExit() { file.Close(); }
    } closeOnExit{m_file};

    std::string failure = std::move(end.Failure);
    if (failure.empty())
        failure = RunFault(end);
    if (failure.empty())
        PublishHashes(end);
    else
        MarkFailed(std::move(failure));
}

std::string TDonkeyFile::RunFault(const TRunEnd &end)
{
    // A file that grew, or one that reports a false size (the pseudo-files of
    // /proc say 0 and hold text), still has bytes past its size; a run whose
    // last read asked for one more byte has looked already.
    if (!end.EndSeen) {
        std::uint8_t probe;
        std::string error;
        const std::int64_t beyond = m_file.ReadAt(Size(), &probe, 1, error);
        if (beyond < 0)
            return error;
        if (beyond > 0)
            return "the file holds more bytes than its size said (it grew, or is no ordinary file)";
    }
    // A file that changed under the reads would give hashes of no real
    // content; the change time shows a rewrite whose modification time was
    // put back.
    TReadOnlyFile::Identity now;
    if (!m_file.Stat(now) || !(now == m_openedAs))
        return m_file.Error().empty() ? "the file changed while it was read" : m_file.Error();
    // A run that lost or added a chunk, or left a kind out, would publish a
    // wrong hash.
    const std::int32_t chunks = ChunkCount();
    const std::size_t digests = end.ChunkDigests.size() / DonkeyDigestBytes;
    if (end.ChunkDigests.size() != (Selected(hsDonkey) ? DonkeyDigestBytes * static_cast<std::size_t>(chunks) : 0))
        return "the run hashed " + std::to_string(digests) + " of " + std::to_string(chunks) + " chunks";
    if (const std::int32_t reported = CurrentChunk(); reported != chunks)
        return "the run reported " + std::to_string(reported) + " of " + std::to_string(chunks) + " chunks";
    if (Selected(hsFileSpree) != (end.Md5 != nullptr) || Selected(hsAich) != (end.Aich != nullptr))
        return "the run did not compute the hashes selected";
    return {};
}

void TDonkeyFile::PublishHashes(const TRunEnd &end)
{
    std::string donkeyHash;
    std::string partHashes;
    if (Selected(hsDonkey)) {
        const std::size_t chunks = end.ChunkDigests.size() / DonkeyDigestBytes;
        if (chunks > 1 && Selected(hsPartHashes)) {
            partHashes.reserve(chunks * (2 * DonkeyDigestBytes + 1));
            for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
                if (chunk > 0)
                    partHashes += ':';
                partHashes += HexText(end.ChunkDigests.data() + DonkeyDigestBytes * chunk, DonkeyDigestBytes, true);
            }
        }
        const auto root = DonkeyRoot(end.ChunkDigests);
        donkeyHash = HexText(root.data(), root.size(), true);
    }
    const std::string fileSpree = end.Md5 ? HexText(end.Md5, DonkeyDigestBytes, false) : std::string();
    std::string aichText;
    if (end.Aich) {
        const TAichDigest root = end.Aich->Root();
        aichText = Base32Text(root.data(), root.size());
    }
    Publish({.DonkeyHash = std::move(donkeyHash), .FileSpreeHash = fileSpree, .AichHash = std::move(aichText),
             .PartHashes = std::move(partHashes)});
}

std::int32_t TDonkeyFile::ChunkCount() const
{
    return static_cast<std::int32_t>(std::min<std::int64_t>(DonkeyChunkCount(Size()), INT32_MAX));
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
