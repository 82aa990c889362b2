#include "links/unicode.h"

#include <cstdint>

namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 when the byte
// there starts none.
std::size_t SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong form
        else if (lead == 0xED)
            high = 0x9F; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // no overlong form
        else if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

template <typename TInvalid>
std::string Rewrite(std::string_view text, TInvalid invalid)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (const std::size_t length = SequenceLength(text, at)) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            invalid(out, static_cast<std::uint8_t>(text[at]));
            ++at;
        }
    }
    return out;
}

} // namespace

std::string EncodeInvalidUtf8(std::string_view text)
{
    return Rewrite(text, [](std::string &out, std::uint8_t byte) {
        constexpr char digits[] = "0123456789ABCDEF";
        out += '%';
        out += digits[byte >> 4];
        out += digits[byte & 15];
    });
}

std::string ReplaceInvalidUtf8(std::string_view text)
{
    return Rewrite(text, [](std::string &out, std::uint8_t) { out += "\xEF\xBF\xBD"; });
}
