// GetVersionExA with both record sizes, and IsWow64Process looked up at run time.
#include "win32/windows_version.h"

#include <windows.h>

namespace kq::launcher {

namespace {

// Casts a looked-up function to its real type (GCC allows this through void (*)()).
template <typename Function>
Function As(void* address) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

bool WindowsVersion::QueryExtended(VersionRecord& out) {
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;  // 156; Windows 9x and NT before SP6 refuse it
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
    out.platform = info.dwPlatformId;
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    out.servicePackMajor = info.wServicePackMajor;
    out.productType = info.wProductType;
    return true;
}

bool WindowsVersion::QueryBasic(VersionRecord& out) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;  // 148
    if (!GetVersionExA(&info)) return false;
    out.platform = info.dwPlatformId;
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    return true;
}

bool WindowsVersion::IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    void* address = KernelFunction("IsWow64Process");
    if (address == nullptr) return false;
    BOOL wow64 = FALSE;
    As<IsWow64ProcessFn>(address)(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

void* KernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<void*>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

void LoadLibrariesFromSystemOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    void* address = KernelFunction("SetDefaultDllDirectories");
    if (address != nullptr) As<SetDefaultDllDirectoriesFn>(address)(kSearchSystem32);
}

}  // namespace kq::launcher
