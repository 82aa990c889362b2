#pragma once

// brackwell-cli's JSON: texts as JSON strings, and objects whose keys keep
// the order they were added in.

#include <cstdint>
#include <string>
#include <string_view>

#include "digests/MessageDigests.h"

// True for text that is well-formed UTF-8 (RFC 3629).
bool IsUtf8(std::string_view text);

// JSON string: valid UTF-8 passes unchanged, every other byte is written as
// the \u00XX escape of that byte, so that the text stays readable (the exact
// bytes of such a text go in a key of their own: TJsonObject).
std::string JsonString(std::string_view text);

// A JSON object, its keys in the order added. A text that is not valid UTF-8
// (a file name of another code page) shows escaped under its key, and its
// exact bytes, in lower-case hexadecimal, under the same key with "_bytes"
// appended, after every other key: "\u00ff" and "ÿ" then differ.
class TJsonObject final
{
public:
    void Add(const char *key, std::string_view text)
    {
        Key(key);
        m_text += JsonString(text);
        if (!IsUtf8(text)) {
            const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
            m_bytes += ",\"" + std::string(key) + "_bytes\":\"" + HexText(bytes, text.size(), false) + "\"";
        }
    }
    void Add(const char *key, std::int64_t number) { Key(key); m_text += std::to_string(number); }
    void Add(const char *key, std::uint64_t number) { Key(key); m_text += std::to_string(number); }
    void AddNull(const char *key) { Key(key); m_text += "null"; }
    // A value already written as JSON.
    void AddRaw(const char *key, std::string_view json) { Key(key); m_text += json; }
    std::string Text() const { return m_text + m_bytes + "}"; }

private:
    void Key(const char *key)
    {
        m_text += m_text.size() > 1 ? ",\"" : "\"";
        m_text += key;
        m_text += "\":";
    }
    std::string m_text = "{";
    // The "_bytes" keys, written last.
    std::string m_bytes;
};
