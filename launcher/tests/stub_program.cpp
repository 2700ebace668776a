// Stand-in for the installers, the PDF viewer and the browser in the Wine tests: appends its own
// file name and its command line to the file named by KQ_STUB_LOG, then ends.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char logPath[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KQ_STUB_LOG", logPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 3;
    const char* name = self;
    for (const char* p = self; *p != '\0'; ++p) {
        if (*p == '\\') name = p + 1;
    }
    FILE* log = std::fopen(logPath, "ab");
    if (log == nullptr) return 4;
    std::fprintf(log, "%s|%s\n", name, GetCommandLineA());
    std::fclose(log);
    return 0;
}
