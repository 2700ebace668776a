// GetDriveTypeA and the conversion of UTF-16 device names to the ANSI code page.
#include "win32/win32_system.h"

#include <windows.h>

namespace kqm {

unsigned Win32DriveTypes::QueryDriveType(const char* rootPath) {
    return GetDriveTypeA(rootPath);
}

int Win32TextConverter::WideToAnsi(const char16_t* text, int length, char* out, int outSize) {
    static_assert(sizeof(char16_t) == sizeof(WCHAR), "UTF-16 code units");
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(text), length, out, outSize,
                               nullptr, nullptr);
}

}  // namespace kqm
