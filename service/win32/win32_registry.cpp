// Each operation is one advapi32 call; label keys always go to the 64-bit registry view.
#include "win32/win32_registry.h"

#include <windows.h>

namespace kqm {
namespace {

HKEY ToHkey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}
RegKey FromHkey(HKEY key) {
    return reinterpret_cast<RegKey>(key);
}

REGSAM ToSam(KeyAccess access) {
    return (access == KeyAccess::AllAccess ? KEY_ALL_ACCESS : KEY_READ) | KEY_WOW64_64KEY;
}

}  // namespace

long Win32Registry::OpenKey(const char* path, RegKey* key) {
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &opened);
    *key = result == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return result;
}

long Win32Registry::CreateKey(const char* path, KeyAccess access, RegKey* key) {
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LONG result =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        ToSam(access), nullptr, &created, &disposition);
    *key = result == ERROR_SUCCESS ? FromHkey(created) : 0;
    return result;
}

long Win32Registry::CreateKeyDefaultView(const char* path, RegKey* key) {
    HKEY created = nullptr;
    const LONG result = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &created);
    *key = result == ERROR_SUCCESS ? FromHkey(created) : 0;
    return result;
}

long Win32Registry::QueryValue(RegKey key, const char* name, std::uint32_t* type,
                               std::uint8_t* data, std::uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = *size;
    const LONG result = RegQueryValueExA(ToHkey(key), name, nullptr, &valueType, data, &valueSize);
    if (type != nullptr) *type = valueType;
    *size = valueSize;
    return result;
}

long Win32Registry::EnumKey(RegKey key, std::uint32_t index, char* name,
                            std::uint32_t* nameLength) {
    DWORD length = *nameLength;
    const LONG result =
        RegEnumKeyExA(ToHkey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    *nameLength = length;
    return result;
}

long Win32Registry::SetValue(RegKey key, const char* name, std::uint32_t type,
                             const std::uint8_t* data, std::uint32_t size) {
    return RegSetValueExA(ToHkey(key), name, 0, type, data, size);
}

void Win32Registry::CloseKey(RegKey key) {
    RegCloseKey(ToHkey(key));
}

long Win32Registry::DeleteKey(const char* path) {
    return RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY, 0);
}

}  // namespace kqm
