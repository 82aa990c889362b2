#pragma once

// Names keep their own bytes, which need not be UTF-8 (a file named on a
// system of another code page). Where only Unicode can go — the clipboard, an
// HTML page that declares UTF-8 — a byte that is no part of valid UTF-8 is
// written as %XX in a link, which a peer decodes back to the real name, and as
// U+FFFD in text only people read.

#include <string>
#include <string_view>

// Bytes that are no part of valid UTF-8 (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF) as %XX; every valid sequence as it is.
std::string EncodeInvalidUtf8(std::string_view text);
// The same bytes as U+FFFD, one for each byte.
std::string ReplaceInvalidUtf8(std::string_view text);
