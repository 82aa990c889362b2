#pragma once

// The reasons the core gives: why an entry failed, what a reading found amiss
// though it kept what it read, what a link check found. They are English texts
// (brackwell-cli prints them as they are), each made from one template of this
// catalogue, so that a front end can tell which reason a text is and show it
// in its user's language. System error texts are no part of it: they come in
// the user's language already.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TReasonKey
{
    // Opening and reading a file.
    NotRegularFile,
    IsFolder,
    CannotBeRead,
    // A run that may not publish its hashes.
    GrewWhileRead,
    ChangedWhileRead,
    ShrankWhileRead,
    RunHashedChunks,
    RunReportedChunks,
    RunMissedKinds,
    Stopped,
    OutOfMemory,
    UnexpectedFailure,
    // Download descriptors.
    NotDescriptorEmpty,
    NotDescriptorLeadingByte,
    NotDescriptorNoPartHashCount,
    DescriptorCutInPartHashes,
    DescriptorCutInTags,
    DescriptorUnknownType,
    DescriptorSizeTooLarge,
    DescriptorPartHashCount,
    DescriptorPartHashesDisagree,
    DescriptorUnreadable,
    // Checking files against links.
    NotPlainFileName,
    SymlinkOutside,
    SizeDiffers,
    DonkeyHashDiffers,
    AichHashDiffers,
    FileSpreeHashDiffers,
    PartHashesDiffer,
    PartHashesDoNotFit,
};

// Every key, in the order above.
const std::vector<TReasonKey> &ReasonKeys();

// The English template of a reason; "%1", "%2"... stand for its arguments (a
// number, a byte in hexadecimal).
std::string_view ReasonTemplate(TReasonKey key);
// A reason's text, its arguments put in.
std::string ReasonText(TReasonKey key, std::initializer_list<std::string> arguments = {});

// Several reasons of one entry or one link, as the core joins them: a link
// check's differences by ", ", a reading's warnings by "; ".
inline constexpr std::string_view ReasonListSeparator = ", ";
inline constexpr std::string_view WarningSeparator = "; ";

// One reason of a text, read back.
struct TReasonPart
{
    // What stood before it: empty for the first, else a separator.
    std::string Separator;
    // The key of the template that makes it; none for a text no template
    // makes (a system error text), which is then the whole text.
    std::optional<TReasonKey> Key;
    std::vector<std::string> Arguments;
    std::string Text;
};

// A text the core gave, as the reasons it is made of.
std::vector<TReasonPart> ReadReasons(std::string_view text);
