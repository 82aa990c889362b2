#pragma once

// The registry, as the settings store, brackwell-cli and the Explorer verb use
// it (Windows only): keys by their path below a root, as in
// "Software\\Brackwell\\Config"; text values (REG_SZ) in UTF-8; the empty name
// for a key's default value. Every value is written as REG_SZ, whatever it
// stands for.
#ifdef _WIN32

#include <optional>
#include <string>

enum class TRegistryRoot
{
    CurrentUser,    // HKEY_CURRENT_USER
    Classes,        // HKEY_CLASSES_ROOT: the user's classes over the machine's
    MachineClasses, // HKEY_LOCAL_MACHINE\Software\Classes
};

// A text value; none when its key or the value is missing, or the value is not
// REG_SZ (a number entered by hand, for instance).
std::optional<std::string> RegistryText(TRegistryRoot root, const std::wstring &key, const std::wstring &name);

// Writes a REG_SZ value, making its key and the keys above it; false when the
// key cannot be made (createFailed set) or the value cannot be written.
bool SetRegistryText(TRegistryRoot root, const std::wstring &key, const std::wstring &name, const std::string &text,
                     bool *createFailed = nullptr);

bool RegistryKeyExists(TRegistryRoot root, const std::wstring &key);

// Deletes a key with everything below it; true when it is gone (or was never there).
bool DeleteRegistryKey(TRegistryRoot root, const std::wstring &key);

#endif
