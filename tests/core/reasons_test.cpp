#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "entries/reasons.h"
#include "input/fileio.h"
#include "runs/runentry.h"

using TKeys = std::vector<std::pair<TReasonKey, std::vector<std::string>>>;

namespace {

// The keys and arguments of a text read back; none for a part no template makes.
TKeys Keys(const std::string &text)
{
    TKeys keys;
    for (const TReasonPart &part : ReadReasons(text)) {
        if (part.Key)
            keys.emplace_back(*part.Key, part.Arguments);
    }
    return keys;
}

} // namespace

// Every reason reads back as its own key and arguments, whole.
TEST(Reasons, EveryTemplateReadsBack)
{
    const std::vector<std::string> values = {"12", "345", "6F"};
    for (const TReasonKey key : ReasonKeys()) {
        const std::string_view pattern = ReasonTemplate(key);
        std::size_t arguments = 0;
        while (arguments < values.size() && pattern.find("%" + std::to_string(arguments + 1)) != std::string_view::npos)
            ++arguments;
        const std::string text = ReasonText(key, {values[0], values[1], values[2]});
        SCOPED_TRACE(text);
        const auto parts = ReadReasons(text);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_EQ(parts[0].Key, key);
        EXPECT_EQ(parts[0].Text, text);
        EXPECT_EQ(parts[0].Arguments, std::vector<std::string>(values.begin(), values.begin() + arguments));
    }
}

// Reasons joined as the core joins them (", " between a check's differences,
// "; " between a reading's warnings), also where a template holds a separator
// itself; the texts the runs give themselves; and a system's text, which no
// template makes, comes back whole and without a key.
TEST(Reasons, JoinedReasonsAndOthers)
{
    using K = TReasonKey;
    const std::pair<std::string, TKeys> cases[] = {
        {"ed2k hash differs, AICH hash differs, part hashes differ: 1 of 9, first part 4",
         {{K::DonkeyHashDiffers, {}}, {K::AichHashDiffers, {}}, {K::PartHashesDiffer, {"1", "9", "4"}}}},
        {"size differs: 9728000 bytes on disk", {{K::SizeDiffers, {"9728000"}}}},
        {"the descriptor is cut short inside its tags; only the tags read whole are kept; the descriptor records 2 "
         "part hashes where a file of 19456001 bytes has 3; they are not shown",
         {{K::DescriptorCutInTags, {}}, {K::DescriptorPartHashCount, {"2", "19456001", "3"}}}},
        {StoppedText, {{K::Stopped, {}}}},
        {ShrankText, {{K::ShrankWhileRead, {}}}},
        {DescribeException(std::make_exception_ptr(std::bad_alloc())), {{K::OutOfMemory, {}}}},
        {DescribeException(std::make_exception_ptr(42)), {{K::UnexpectedFailure, {}}}},
        {ErrnoText(EIO), {}},
        {"ed2k hash differs, " + ErrnoText(EACCES), {}},
    };
    for (const auto &[text, keys] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Keys(text), keys);
        std::string joined;
        for (const TReasonPart &part : ReadReasons(text))
            joined += part.Separator + part.Text;
        EXPECT_EQ(joined, text);
    }
}

// The reasons a file gives when it is opened come from the catalogue (a
// folder on Linux gives the system's own text).
TEST(Reasons, OpeningFailuresAreInTheCatalogue)
{
    TReadOnlyFile file;
#ifdef _WIN32
    ASSERT_FALSE(file.Open("C:\\Windows"));
    EXPECT_EQ(Keys(file.Error()), (TKeys{{TReasonKey::IsFolder, {}}}));
#else
    ASSERT_FALSE(file.Open("/dev/null"));
    EXPECT_EQ(Keys(file.Error()), (TKeys{{TReasonKey::NotRegularFile, {}}}));
#endif
}
