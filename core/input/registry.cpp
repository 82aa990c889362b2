#include "input/registry.h"

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

#include "input/fileio.h"

namespace {

HKEY RootKey(TRegistryRoot root)
{
    switch (root) {
    case TRegistryRoot::Classes: return HKEY_CLASSES_ROOT;
    case TRegistryRoot::MachineClasses: return HKEY_LOCAL_MACHINE;
    case TRegistryRoot::CurrentUser: break;
    }
    return HKEY_CURRENT_USER;
}

std::wstring FullPath(TRegistryRoot root, const std::wstring &key)
{
    return root == TRegistryRoot::MachineClasses ? L"Software\\Classes\\" + key : key;
}

// An open key, closed when it goes.
class TKey final
{
public:
    TKey(TRegistryRoot root, const std::wstring &path, REGSAM access)
    {
        if (RegOpenKeyExW(RootKey(root), FullPath(root, path).c_str(), 0, access, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    explicit TKey(HKEY key)
        : m_key(key)
    {
    }
    ~TKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    TKey(const TKey &) = delete;
    TKey &operator=(const TKey &) = delete;
    HKEY Handle() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace

std::optional<std::string> RegistryText(TRegistryRoot root, const std::wstring &key, const std::wstring &name)
{
    const TKey open(root, key, KEY_QUERY_VALUE);
    if (!open.Handle())
        return std::nullopt;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(open.Handle(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS
            || type != REG_SZ)
            return std::nullopt;
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        const LSTATUS status =
            RegQueryValueExW(open.Handle(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &got);
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

bool SetRegistryText(TRegistryRoot root, const std::wstring &key, const std::wstring &name, const std::string &text,
                     bool *createFailed)
{
    HKEY handle = nullptr;
    const bool created = RegCreateKeyExW(RootKey(root), FullPath(root, key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                         nullptr, &handle, nullptr)
                         == ERROR_SUCCESS;
    if (createFailed)
        *createFailed = !created;
    if (!created)
        return false;
    const TKey open(handle);
    const std::wstring wide = WideFromUtf8(text);
    return RegSetValueExW(open.Handle(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)))
           == ERROR_SUCCESS;
}

bool RegistryKeyExists(TRegistryRoot root, const std::wstring &key)
{
    return TKey(root, key, KEY_READ).Handle() != nullptr;
}

bool DeleteRegistryKey(TRegistryRoot root, const std::wstring &key)
{
    const LSTATUS status = RegDeleteTreeW(RootKey(root), FullPath(root, key).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return false;
    // RegDeleteTree empties the key; the key itself goes here.
    const LSTATUS gone = RegDeleteKeyW(RootKey(root), FullPath(root, key).c_str());
    return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
}

#endif
