#include "entries/reasons.h"

#include <algorithm>
#include <utility>

namespace {

struct TReasonRow
{
    TReasonKey Key;
    std::string_view Template;
};

constexpr TReasonRow ReasonTable[] = {
    {TReasonKey::NotRegularFile, "not a regular file"},
    {TReasonKey::IsFolder, "is a folder"},
    {TReasonKey::CannotBeRead, "cannot be read"},
    {TReasonKey::GrewWhileRead, "the file holds more bytes than its size said (it grew, or is no ordinary file)"},
    {TReasonKey::ChangedWhileRead, "the file changed while it was read"},
    {TReasonKey::ShrankWhileRead, "the file shrank while it was read"},
    {TReasonKey::RunHashedChunks, "the run hashed %1 of %2 chunks"},
    {TReasonKey::RunReportedChunks, "the run reported %1 of %2 chunks"},
    {TReasonKey::RunMissedKinds, "the run did not compute the hashes selected"},
    {TReasonKey::Stopped, "stopped"},
    {TReasonKey::OutOfMemory, "out of memory"},
    {TReasonKey::UnexpectedFailure, "unexpected failure"},
    {TReasonKey::NotDescriptorEmpty, "not a download descriptor: the file is empty"},
    {TReasonKey::NotDescriptorLeadingByte, "not a download descriptor: it starts with byte 0x%1, not 0xE0, 0xE1 or 0xE2"},
    {TReasonKey::NotDescriptorNoPartHashCount, "not a download descriptor: the file ends before its part-hash count"},
    {TReasonKey::DescriptorCutInPartHashes,
     "the descriptor is cut short inside its part hashes; only its file hash is kept"},
    {TReasonKey::DescriptorCutInTags, "the descriptor is cut short inside its tags; only the tags read whole are kept"},
    {TReasonKey::DescriptorUnknownType,
     "the descriptor holds a tag of the unknown type 0x%1; the tags after it cannot be read and are not kept"},
    {TReasonKey::DescriptorSizeTooLarge,
     "the descriptor records a size of %1 bytes, more than a file can hold; %2 is shown"},
    {TReasonKey::DescriptorPartHashCount,
     "the descriptor records %1 part hashes where a file of %2 bytes has %3; they are not shown"},
    {TReasonKey::DescriptorPartHashesDisagree,
     "the descriptor's part hashes do not give its file hash; they are not shown"},
    {TReasonKey::DescriptorUnreadable, "the descriptor could not be read"},
    {TReasonKey::NotPlainFileName, "not a plain file name"},
    {TReasonKey::SymlinkOutside, "symbolic link to a file outside the folder"},
    {TReasonKey::SizeDiffers, "size differs: %1 bytes on disk"},
    {TReasonKey::DonkeyHashDiffers, "ed2k hash differs"},
    {TReasonKey::AichHashDiffers, "AICH hash differs"},
    {TReasonKey::FileSpreeHashDiffers, "FileSpree hash differs"},
    {TReasonKey::PartHashesDiffer, "part hashes differ: %1 of %2, first part %3"},
    {TReasonKey::PartHashesDoNotFit, "the part hashes do not fit the size"},
};

// Where the template's argument mark "%N" starts at, its number in number.
bool ArgumentAt(std::string_view pattern, std::size_t at, std::size_t &number)
{
    if (at + 1 >= pattern.size() || pattern[at] != '%' || pattern[at + 1] < '1' || pattern[at + 1] > '9')
        return false;
    number = static_cast<std::size_t>(pattern[at + 1] - '1');
    return true;
}

// Matches pattern against text from `from`, then calls rest with the end of
// the match and the arguments; true when rest accepted one way to match. An
// argument stands for one or more characters.
template <typename TRest>
bool Match(std::string_view pattern, std::string_view text, std::size_t from, std::vector<std::string> &arguments,
           const TRest &rest)
{
    std::size_t p = 0;
    std::size_t t = from;
    while (p < pattern.size()) {
        std::size_t number = 0;
        if (ArgumentAt(pattern, p, number)) {
            const std::string_view after = pattern.substr(p + 2);
            for (std::size_t end = t + 1; end <= text.size(); ++end) {
                std::vector<std::string> tried = arguments;
                if (tried.size() <= number)
                    tried.resize(number + 1);
                tried[number] = std::string(text.substr(t, end - t));
                if (Match(after, text, end, tried, rest)) {
                    arguments = std::move(tried);
                    return true;
                }
            }
            return false;
        }
        if (t >= text.size() || text[t] != pattern[p])
            return false;
        ++p;
        ++t;
    }
    return rest(t, arguments);
}

// Reads reasons from text at `from` to its end, each after a separator but
// the first; true when the whole rest is made of them.
bool ReadFrom(std::string_view text, std::size_t from, std::string_view separator, std::vector<TReasonPart> &parts)
{
    for (const TReasonRow &row : ReasonTable) {
        std::vector<std::string> arguments;
        std::vector<TReasonPart> rest;
        std::size_t matchEnd = from;
        const auto restMatches = [&](std::size_t end, const std::vector<std::string> &) {
            matchEnd = end;
            if (end == text.size())
                return true;
            for (const std::string_view next : {ReasonListSeparator, WarningSeparator}) {
                if (text.substr(end).starts_with(next) && ReadFrom(text, end + next.size(), next, rest))
                    return true;
                rest.clear();
            }
            return false;
        };
        if (Match(row.Template, text, from, arguments, restMatches)) {
            parts.push_back({std::string(separator), row.Key, std::move(arguments),
                             std::string(text.substr(from, matchEnd - from))});
            parts.insert(parts.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
            return true;
        }
    }
    return false;
}

} // namespace

const std::vector<TReasonKey> &ReasonKeys()
{
    static const std::vector<TReasonKey> keys = [] {
        std::vector<TReasonKey> all;
        for (const TReasonRow &row : ReasonTable)
            all.push_back(row.Key);
        return all;
    }();
    return keys;
}

std::string_view ReasonTemplate(TReasonKey key)
{
    const auto row = std::find_if(std::begin(ReasonTable), std::end(ReasonTable),
                                  [key](const TReasonRow &r) { return r.Key == key; });
    return row == std::end(ReasonTable) ? std::string_view() : row->Template;
}

std::string ReasonText(TReasonKey key, std::initializer_list<std::string> arguments)
{
    const std::string_view pattern = ReasonTemplate(key);
    const std::vector<std::string> values(arguments);
    std::string text;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        std::size_t number = 0;
        if (ArgumentAt(pattern, at, number)) {
            if (number < values.size())
                text += values[number];
            ++at;
        } else {
            text += pattern[at];
        }
    }
    return text;
}

std::vector<TReasonPart> ReadReasons(std::string_view text)
{
    std::vector<TReasonPart> parts;
    if (text.empty())
        return parts;
    if (!ReadFrom(text, 0, {}, parts))
        return {{{}, std::nullopt, {}, std::string(text)}};
    return parts;
}
