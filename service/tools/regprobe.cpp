// Test tool: prints a registry value's type, stored size and text as the ANSI API returns them.
// usage: regprobe "SOFTWARE\...\DriveIcons\E\DefaultLabel" [valuename]   (below HKLM, 64-bit view)
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::printf("usage: regprobe KEY [VALUE]\n");
        return 2;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        std::printf("no key\n");
        return 1;
    }
    BYTE data[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof data - 1;
    const LONG result =
        RegQueryValueExA(key, argc == 3 ? argv[2] : nullptr, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        std::printf("no value\n");
        return 1;
    }
    std::printf("type %lu size %lu text %s\n", type, size, reinterpret_cast<const char*>(data));
    return 0;
}
