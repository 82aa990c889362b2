#include "defaults.h"

#ifdef BRACKWELL_WITH_QT
#include "settings.h"
#elif defined(_WIN32)
#include <cctype>
#include <charconv>
#include <climits>
#include <optional>

#include "input/registry.h"
#endif

#ifdef BRACKWELL_WITH_QT

TStoredDefaults LoadStoredDefaults()
{
    TSettings settings;
    int viewStyle = 0;
    const TSettingsKey key = LoadSettings(settings, viewStyle);
    std::string location = key ? key->fileName().toStdString() : std::string();
    return {settings.ActiveHashes, settings.NamePrefix, settings.NameSuffix, settings.ReplaceSpaceStr,
            std::move(location)};
}

#elif defined(_WIN32)

namespace {

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
    // What is missing, or not REG_SZ, keeps its default, as in the window.
    const auto stored = [subKey](const wchar_t *name) {
        return RegistryText(TRegistryRoot::CurrentUser, subKey, name);
    };
    TStoredDefaults defaults;
    const auto active = [&](const wchar_t *name, bool fallback) {
        const auto text = stored(name);
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
    defaults.NamePrefix = stored(L"NamePrefix").value_or(defaults.NamePrefix);
    defaults.NameSuffix = stored(L"NameSuffix").value_or(defaults.NameSuffix);
    defaults.ReplaceSpaceStr = stored(L"ReplaceSpaceStr").value_or(defaults.ReplaceSpaceStr);
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
