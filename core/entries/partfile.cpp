#include "entries/partfile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>
#include "digests/MessageDigests.h"
#include "entries/reasons.h"

TPartFile::TPartFile(const std::string &path, THashSelection extras)
    : TDonkeyFile(path, hsDonkey | (extras & (hsAich | hsPartHashes)))
{
}

namespace {

// The part hashes as the entry shows them: the hexadecimal digests joined by
// ":" for a file of several chunks, empty for one of a single chunk. None,
// with the reason in warning, when they do not belong to the file hash and
// size the descriptor records; none, silently, when it records none (a client
// that has not learnt them yet writes a count of 0).
std::optional<std::string> AgreedPartHashes(const TPartMetContents &contents, std::int64_t size,
                                            std::string &warning)
{
    const std::vector<std::array<std::uint8_t, 16>> &hashes = contents.PartHashes;
    const std::int64_t chunks = size / DonkeyChunkSize + 1;
    if (!contents.TagCountRead)
        return std::nullopt; // the list was cut: the warning says so already
    if (hashes.empty())
        return chunks == 1 ? std::optional<std::string>(std::string()) : std::nullopt;
    // A file of one chunk needs none; a client may still give that one.
    const auto needed = static_cast<std::size_t>(chunks > 1 ? chunks : 1);
    if (hashes.size() != needed) {
        warning = ReasonText(TReasonKey::DescriptorPartHashCount,
                             {std::to_string(hashes.size()), std::to_string(size), std::to_string(needed)});
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> root = hashes.front();
    if (hashes.size() > 1) {
        TMD4 digest;
        for (const auto &hash : hashes)
            digest.Transform(hash.data(), hash.size());
        digest.Complete();
        std::copy_n(digest.Digest().data(), root.size(), root.begin());
    }
    if (root != contents.Hash) {
        warning = ReasonText(TReasonKey::DescriptorPartHashesDisagree);
        return std::nullopt;
    }
    std::string text;
    if (hashes.size() > 1) {
        for (const auto &hash : hashes) {
            if (!text.empty())
                text += ':';
            text += HexText(hash.data(), hash.size(), true);
        }
    }
    return text;
}

} // namespace

void TPartFile::ComputeHashes()
{
    TReadOnlyFile &file = File();
    const TPartMetContents contents = ReadPartMet(
        [&file](void *buffer, std::size_t count) { return file.Read(buffer, count); });

    // What was read before a read error may be anything but the descriptor:
    // the error itself is the reason.
    if (contents.ReadFailed) {
        MarkFailed(file.Error().empty() ? ReasonText(TReasonKey::DescriptorUnreadable) : file.Error());
        return;
    }
    if (!IsDescriptorLeadingByte(contents.LeadingByte) || !contents.PartHashCountRead) {
        std::string reason;
        if (contents.Truncated && contents.LeadingByte == 0)
            reason = ReasonText(TReasonKey::NotDescriptorEmpty);
        else if (!IsDescriptorLeadingByte(contents.LeadingByte))
            reason = ReasonText(TReasonKey::NotDescriptorLeadingByte, {HexText(&contents.LeadingByte, 1, true)});
        else
            reason = ReasonText(TReasonKey::NotDescriptorNoPartHashCount);
        MarkFailed(std::move(reason));
        return;
    }

    TReadResult result;
    result.DonkeyHash = HexText(contents.Hash.data(), contents.Hash.size(), true);
    result.FileSpreeHash = UnknownText; // never computed for a descriptor
    result.Name = contents.Name;
    std::vector<std::string> warnings;
    if (!contents.TagCountRead)
        warnings.push_back(ReasonText(TReasonKey::DescriptorCutInPartHashes));
    else if (contents.Truncated)
        warnings.push_back(ReasonText(TReasonKey::DescriptorCutInTags));
    if (contents.UnknownType)
        warnings.push_back(ReasonText(TReasonKey::DescriptorUnknownType, {HexText(&*contents.UnknownType, 1, true)}));
    if (contents.Size) {
        // No real file comes near 2^63 bytes; a larger recorded size is taken
        // as the largest the entry can hold rather than as a negative one.
        constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        result.Size = static_cast<std::int64_t>(std::min(*contents.Size, largest));
        if (*contents.Size > largest)
            warnings.push_back(ReasonText(TReasonKey::DescriptorSizeTooLarge,
                                          {std::to_string(*contents.Size), std::to_string(largest)}));
    }

    // The AICH root and the part hashes come with the file hash they belong
    // to: a new reading replaces them, or takes them away.
    THashSelection recorded = 0;
    result.AichHash = NotAvailableText;
    if (contents.AichRoot) {
        result.AichHash = Base32Text(contents.AichRoot->data(), contents.AichRoot->size());
        recorded |= hsAich;
    }
    std::string partsWarning;
    if (auto parts = AgreedPartHashes(contents, result.Size.value_or(Size()), partsWarning)) {
        recorded |= hsPartHashes;
        if (HashSelection() & hsPartHashes)
            result.PartHashes = std::move(*parts);
    }
    if (!partsWarning.empty())
        warnings.push_back(std::move(partsWarning));
    for (const std::string &warning : warnings)
        result.Warning += (result.Warning.empty() ? std::string() : std::string(WarningSeparator)) + warning;

    // Everything that was read appears at once, under one hold of the lock.
    Publish(std::move(result), [&] { StoreFields(contents, recorded); });
}

void TPartFile::StoreFields(const TPartMetContents &contents, THashSelection recorded)
{
    m_recorded = recorded;
    if (contents.Transferred)
        m_transferred = *contents.Transferred;
    if (contents.TempFileName)
        m_tempFileName = *contents.TempFileName;
    if (contents.FileType)
        m_fileType = *contents.FileType;
    if (contents.FileFormat)
        m_fileFormat = *contents.FileFormat;
    if (contents.Priority)
        m_priority = *contents.Priority;
    if (contents.Status)
        m_status = *contents.Status;
}

std::uint64_t TPartFile::Transferred() const
{
    const std::lock_guard guard(Lock());
    return m_transferred;
}

std::string TPartFile::TempFileName() const
{
    const std::lock_guard guard(Lock());
    return m_tempFileName;
}

std::string TPartFile::FileType() const
{
    const std::lock_guard guard(Lock());
    return m_fileType;
}

std::string TPartFile::FileFormat() const
{
    const std::lock_guard guard(Lock());
    return m_fileFormat;
}

std::uint32_t TPartFile::Priority() const
{
    const std::lock_guard guard(Lock());
    return m_priority;
}

std::uint32_t TPartFile::Status() const
{
    const std::lock_guard guard(Lock());
    return m_status;
}

TEntrySnapshot TPartFile::Snapshot() const
{
    TEntrySnapshot snapshot;
    const std::lock_guard guard(Lock());
    FillSnapshot(snapshot);
    snapshot.IsPartFile = true;
    snapshot.Transferred = m_transferred;
    snapshot.TempFileName = m_tempFileName;
    snapshot.FileType = m_fileType;
    snapshot.FileFormat = m_fileFormat;
    snapshot.Priority = m_priority;
    snapshot.Status = m_status;
    // After a reading, a kind the descriptor does not record reads "N/A";
    // before one, or after a failure, the state words show as for any entry.
    if (snapshot.DonkeyHash.size() == 32)
        snapshot.HashSelection &= hsDonkey | m_recorded;
    return snapshot;
}

std::string TPartFile::PriorityText() const
{
    switch (Priority()) {
    case 0: return "Low";
    case 1: return "Normal";
    case 2: return "High";
    case 5: return "Auto"; // the level current clients start a download at
    default: return std::string(UnknownText);
    }
}

std::string TPartFile::StatusText() const
{
    switch (Status()) {
    case 0: return "Looking...";
    case 1: return "Paused";
    default: return std::string(UnknownText);
    }
}

bool IsPartMetPath(const std::string &path)
{
    return path.ends_with(".part.met");
}
