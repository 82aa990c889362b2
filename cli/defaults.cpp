#include "defaults.h"

#ifdef BRACKWELL_WITH_QT
#include "settings.h"
#elif defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <optional>
#include <vector>

#include "input/fileio.h"
#endif

#ifdef BRACKWELL_WITH_QT

TStoredDefaults LoadStoredDefaults()
{
    TSettings settings;
    int viewStyle = 0;
    [[maybe_unused]] const TSettingsKey key = LoadSettings(settings, viewStyle);
#ifdef _WIN32
    std::string location = "HKEY_CURRENT_USER\\Software\\Brackwell\\Config";
#else
    std::string location = key ? key->fileName().toStdString() : std::string();
#endif
    return {settings.ActiveHashes, settings.NamePrefix, settings.NameSuffix, settings.ReplaceSpaceStr,
            std::move(location)};
}

#elif defined(_WIN32)

namespace {

// An open registry key, closed when it goes.
class TRegistryKey final
{
public:
    explicit TRegistryKey(const wchar_t *subKey)
    {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~TRegistryKey()
    {
        if (m_key)
            ::RegCloseKey(m_key);
    }
    TRegistryKey(const TRegistryKey &) = delete;
    TRegistryKey &operator=(const TRegistryKey &) = delete;

    // A REG_SZ value as UTF-8; none when it is missing or of another type
    // (a number entered by hand, for instance), as the settings store reads it.
    std::optional<std::string> Text(const wchar_t *name) const
    {
        if (!m_key)
            return std::nullopt;
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0;
            DWORD size = 0;
            if (::RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
                return std::nullopt;
            std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
            DWORD got = size;
            const LSTATUS status = ::RegQueryValueExW(m_key, name, nullptr, &type,
                                                      reinterpret_cast<BYTE *>(text.data()), &got);
            if (status == ERROR_MORE_DATA)
                continue; // it grew in between
            if (status != ERROR_SUCCESS || type != REG_SZ)
                return std::nullopt;
            // The stored terminator, if any, is no part of the text.
            std::size_t length = got / sizeof(wchar_t);
            while (length > 0 && text[length - 1] == L'\0')
                --length;
            return Utf8FromWide(std::wstring_view(text.data(), length));
        }
        return std::nullopt;
    }

private:
    HKEY m_key = nullptr;
};

// A decimal integer stored as text (blanks around it allowed); none otherwise.
std::optional<int> IntegerOf(std::string text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    if (start < text.size() && text[start] == '+')
        ++start;
    long long value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + start, end, value, 10);
    if (error != std::errc() || stop != end || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

TStoredDefaults ReadRegistryDefaults(const wchar_t *subKey)
{
    const TRegistryKey key(subKey);
    TStoredDefaults defaults;
    const auto active = [&](const wchar_t *name, bool fallback) {
        const auto text = key.Text(name);
        const auto value = text ? IntegerOf(*text) : std::nullopt;
        return value.value_or(fallback ? 1 : 0) != 0;
    };
    defaults.ActiveHashes = 0;
    if (active(L"ActiveDonkey", true))
        defaults.ActiveHashes |= hsDonkey;
    if (active(L"ActiveFileSpree", true))
        defaults.ActiveHashes |= hsFileSpree;
    if (active(L"ActiveAich", false))
        defaults.ActiveHashes |= hsAich;
    defaults.NamePrefix = key.Text(L"NamePrefix").value_or(defaults.NamePrefix);
    defaults.NameSuffix = key.Text(L"NameSuffix").value_or(defaults.NameSuffix);
    defaults.ReplaceSpaceStr = key.Text(L"ReplaceSpaceStr").value_or(defaults.ReplaceSpaceStr);
    return defaults;
}

TStoredDefaults LoadStoredDefaults()
{
    TStoredDefaults defaults = ReadRegistryDefaults(L"Software\\Brackwell\\Config");
    defaults.Location = "HKEY_CURRENT_USER\\Software\\Brackwell\\Config";
    return defaults;
}

#else

TStoredDefaults LoadStoredDefaults()
{
    return {};
}

#endif
