#pragma once

// The texts of links and lists: link names and their encoding, HTML and
// terminal escapes, the size text. The links of an entry itself are the
// entry's own (TDonkeyFile::DonkeyLink...), built in links.cpp from these.

#include <cstdint>
#include <string>
#include <string_view>

// The name without its last extension (a leading dot starts no extension).
std::string StripExtension(std::string_view name);
// The extension of a name, its dot included; empty when it has none.
std::string ExtractExtension(std::string_view name);
// Every space of text replaced by replacement; replaced text is not rescanned.
std::string ReplaceSpaces(std::string_view text, std::string_view replacement);
// "%", "|", control bytes and DEL as %XX, so that peers read the name back whole.
std::string EncodeLinkName(std::string_view name);
// "|", control bytes and DEL as %XX: a text the user typed for link names goes
// in as typed ("%20" stays "%20"), but never cuts or breaks the link.
std::string EncodeLinkText(std::string_view text);
// Every byte but RFC 3986's unreserved characters (letters, digits, "-", ".",
// "_", "~") as %XX with upper-case digits: a value of a URI's query, as a
// magnet link's dn carries the name.
std::string EncodeUriComponent(std::string_view text);
// Control bytes and DEL as %XX, so that a name shown in a line of text stays on
// its line and sends nothing to a terminal.
std::string EscapeControlBytes(std::string_view text);
// &, <, > and " as HTML entities.
std::string EscapeHtml(std::string_view text);

// The user's decimal separator, from the C library's current locale.
std::string CurrentDecimalPoint();
// "%d o", "%.2f K" or "%.2f M".
std::string SizeText(std::int64_t size, std::string_view decimalPoint = CurrentDecimalPoint());
