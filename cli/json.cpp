#include "json.h"

#include <cstdint>

namespace {

// The length of the well-formed UTF-8 sequence (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF) that starts text at i, or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i)
{
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (byte >= 0xC2 && byte <= 0xDF) { length = 2; lowest = 0x80; }
    else if (byte >= 0xE0 && byte <= 0xEF) { length = 3; lowest = 0x800; }
    else if (byte >= 0xF0 && byte <= 0xF4) { length = 4; lowest = 0x10000; }
    std::uint32_t code = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
    }
    valid = valid && code >= lowest && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    return valid ? length : 0;
}

} // namespace

bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    const auto escapeByte = [&](std::uint8_t byte) {
        out += "\\u00";
        out += HexText(&byte, 1, false);
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F)
                    escapeByte(byte);
                else
                    out += static_cast<char>(byte);
            }
            ++i;
        } else if (const std::size_t length = Utf8SequenceAt(text, i); length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            escapeByte(byte);
            ++i;
        }
    }
    return out + "\"";
}
