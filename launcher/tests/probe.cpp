// Test probe: finds the launcher's windows and reads what a screenshot cannot tell (texts,
// control ids, sizes, the pointer), and pokes them like a user would. Prints UTF-8.
//
//   probe wait TITLE [CLASS] [MS]   waits for a visible top-level window; prints its handle
//   probe gone HANDLE [MS]          waits until the window no longer exists
//   probe list                      visible top-level windows
//   probe dump HANDLE               the window and its children (client coordinates)
//   probe click HANDLE ID           posts BM_CLICK to the child control ID
//   probe post HANDLE MSG WP LP     posts a message (numbers in C notation)
//   probe key HANDLE VK             key down and up, to the window's focused control
//   probe focus HANDLE              the control id of the window's focused control
//   probe cursor X Y                moves the pointer to X, Y (screen); prints its handle
//   probe rescursor EXE ID          hot spot and size of cursor resource ID of EXE
//   probe template EXE ID LANGUAGE  dialog template ID of EXE in LANGUAGE (e.g. 1041), decoded
//   probe languages EXE TYPE ID     the languages resource ID of TYPE exists in
//   probe bitmapinfo EXE ID         header size, size, depth, palette entries of bitmap ID
//   probe icongroup EXE ID          the images of icon group ID: size, colours, depth
//   probe closebox HANDLE           the screen point of the window's close box
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void PrintUtf8(const wchar_t* text) {
    char out[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    std::fputs(n > 0 ? out : "", stdout);
}

HWND ParseHandle(const char* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 0)));
}

unsigned long long Number(const char* text) {
    return std::strtoull(text, nullptr, 0);
}

struct Search {
    const wchar_t* title;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t text[512];
    wchar_t cls[256];
    GetWindowTextW(window, text, 512);
    GetClassNameW(window, cls, 256);
    if (wcscmp(text, search->title) == 0 &&
        (search->cls[0] == L'\0' || wcscmp(cls, search->cls) == 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

void Describe(HWND window, HWND parent) {
    wchar_t text[1024];
    wchar_t cls[256];
    // WM_GETTEXT, not GetWindowText: that one does not ask other processes' controls.
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    text[1023] = L'\0';
    GetClassNameW(window, cls, 256);
    RECT rect;
    GetWindowRect(window, &rect);
    if (parent != nullptr) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    std::printf("id=%d class=", GetDlgCtrlID(window));
    PrintUtf8(cls);
    std::printf(" rect=%ld,%ld,%ld,%ld style=0x%08lx visible=%d text=", rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top,
                static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                IsWindowVisible(window) ? 1 : 0);
    PrintUtf8(text);
    std::printf("\n");
}

BOOL CALLBACK PrintChild(HWND child, LPARAM param) {
    HWND parent = reinterpret_cast<HWND>(param);
    if (GetParent(child) != parent) return TRUE;  // direct children only
    std::printf("child ");
    Describe(child, parent);
    return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    std::printf("window 0x%llx ",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    Describe(window, nullptr);
    return TRUE;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (!GetGUIThreadInfo(thread, &info)) return nullptr;
    return info.hwndFocus;
}

// Reads a dialog template (DLGTEMPLATEEX) the way the dialog manager does.
class TemplateReader {
  public:
    explicit TemplateReader(const BYTE* data) : p_(data), start_(data) {}
    WORD Word() {
        WORD w;
        std::memcpy(&w, p_, 2);
        p_ += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, p_, 4);
        p_ += 4;
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *p_++; }
    // A name or ordinal field: printed as #N, the text, or nothing.
    void PrintNameOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) {
            std::printf("#%u", Word());
            return;
        }
        wchar_t text[512];
        int n = 0;
        for (WORD c = first; c != 0; c = Word()) {
            if (n < 511) text[n++] = static_cast<wchar_t>(c);
        }
        text[n] = L'\0';
        PrintUtf8(text);
    }
    void AlignDword() {
        while ((p_ - start_) % 4 != 0) ++p_;
    }
    void Skip(WORD bytes) { p_ += bytes; }

  private:
    const BYTE* p_;
    const BYTE* start_;
};

int PrintTemplate(const char* exe, const char* id, const char* language) {
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return 1;
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(Number(id)),
                                  static_cast<WORD>(Number(language)));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (data == nullptr) return 1;
    TemplateReader r(data);
    if (r.Word() != 1 || r.Word() != 0xFFFF) return 1;  // DLGTEMPLATEEX only
    r.Dword();
    DWORD exStyle = r.Dword();
    DWORD style = r.Dword();
    WORD items = r.Word();
    short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
    std::printf("dialog style=0x%08lx exstyle=0x%08lx rect=%d,%d,%d,%d menu=",
                static_cast<unsigned long>(style), static_cast<unsigned long>(exStyle), x, y, cx,
                cy);
    r.PrintNameOrOrdinal();
    std::printf(" class=");
    r.PrintNameOrOrdinal();
    std::printf(" caption=");
    r.PrintNameOrOrdinal();
    std::printf("\n");
    if ((style & DS_SETFONT) != 0) {
        WORD points = r.Word();
        WORD weight = r.Word();
        BYTE italic = r.Byte();
        BYTE charset = r.Byte();
        std::printf("font %u %u %u %u ", points, weight, italic, charset);
        r.PrintNameOrOrdinal();
        std::printf("\n");
    }
    for (WORD i = 0; i < items; ++i) {
        r.AlignDword();
        r.Dword();
        DWORD itemEx = r.Dword();
        DWORD itemStyle = r.Dword();
        x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
        auto itemId = static_cast<int>(r.Dword());
        std::printf("item id=%d style=0x%08lx exstyle=0x%08lx rect=%d,%d,%d,%d class=", itemId,
                    static_cast<unsigned long>(itemStyle), static_cast<unsigned long>(itemEx), x, y,
                    cx, cy);
        r.PrintNameOrOrdinal();
        std::printf(" text=");
        r.PrintNameOrOrdinal();
        std::printf("\n");
        r.Skip(r.Word());
    }
    return 0;
}

BOOL CALLBACK PrintLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR) {
    std::printf("%u ", language);
    return TRUE;
}

// The raw data of resource id of type in module; null when missing.
const BYTE* RawResource(HMODULE module, WORD type, WORD id, DWORD* size) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    if (loaded == nullptr) return nullptr;
    *size = SizeofResource(module, found);
    return static_cast<const BYTE*>(LockResource(loaded));
}

int PrintBitmapInfo(HMODULE module, WORD id) {
    DWORD size = 0;
    const BYTE* data = RawResource(module, 2, id, &size);
    if (data == nullptr || size < sizeof(BITMAPINFOHEADER)) return 1;
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    std::printf("header=%lu size=%ldx%ld bpp=%u palette=%lu\n", h.biSize, h.biWidth, h.biHeight,
                h.biBitCount, h.biClrUsed);
    return 0;
}

int PrintIconGroup(HMODULE module, WORD id) {
    DWORD size = 0;
    const BYTE* data = RawResource(module, 14, id, &size);
    if (data == nullptr || size < 6) return 1;
    WORD count;
    std::memcpy(&count, data + 4, 2);
    // GRPICONDIRENTRY: width, height, colours, reserved, planes, bit count, bytes, id.
    for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= size; ++i) {
        const BYTE* e = data + 6 + 14 * i;
        WORD bits;
        std::memcpy(&bits, e + 6, 2);
        std::printf("%ux%u colours=%u bpp=%u\n", e[0], e[1], e[2], bits);
    }
    return 0;
}

int Usage() {
    std::fputs("usage: probe wait|gone|list|dump|click|post|key|focus|cursor ...\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const char* command = argv[1];
    if (std::strcmp(command, "wait") == 0 && argc >= 3) {
        // The title as typed: the wide command line, not the ANSI argv of whatever code page.
        int wideCount = 0;
        LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
        if (wide == nullptr || wideCount < 3) return 2;
        wchar_t title[512];
        wchar_t cls[256] = L"";
        lstrcpynW(title, wide[2], 512);
        if (wideCount >= 4) lstrcpynW(cls, wide[3], 256);
        LocalFree(wide);
        DWORD limit = argc >= 5 ? static_cast<DWORD>(Number(argv[4])) : 15000;
        for (DWORD waited = 0; waited <= limit; waited += 100) {
            Search search{title, cls, nullptr};
            EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr) {
                std::printf("0x%llx\n", static_cast<unsigned long long>(
                                            reinterpret_cast<UINT_PTR>(search.found)));
                return 0;
            }
            Sleep(100);
        }
        return 1;
    }
    if (std::strcmp(command, "gone") == 0 && argc >= 3) {
        HWND window = ParseHandle(argv[2]);
        DWORD limit = argc >= 4 ? static_cast<DWORD>(Number(argv[3])) : 10000;
        for (DWORD waited = 0; waited <= limit; waited += 100) {
            if (!IsWindow(window)) return 0;
            Sleep(100);
        }
        return 1;
    }
    if (std::strcmp(command, "list") == 0) {
        EnumWindows(PrintTopLevel, 0);
        return 0;
    }
    if (std::strcmp(command, "dump") == 0 && argc >= 3) {
        HWND window = ParseHandle(argv[2]);
        if (!IsWindow(window)) return 1;
        RECT client;
        GetClientRect(window, &client);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        std::printf("client=%ld,%ld,%ld,%ld exstyle=0x%08lx window ", origin.x, origin.y,
                    client.right, client.bottom,
                    static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)));
        Describe(window, nullptr);
        EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(window));
        return 0;
    }
    if (std::strcmp(command, "click") == 0 && argc >= 4) {
        HWND button = GetDlgItem(ParseHandle(argv[2]), static_cast<int>(Number(argv[3])));
        return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (std::strcmp(command, "post") == 0 && argc >= 6) {
        return PostMessageW(ParseHandle(argv[2]), static_cast<UINT>(Number(argv[3])),
                            static_cast<WPARAM>(Number(argv[4])),
                            static_cast<LPARAM>(Number(argv[5])))
                   ? 0
                   : 1;
    }
    if (std::strcmp(command, "key") == 0 && argc >= 4) {
        HWND target = FocusOf(ParseHandle(argv[2]));
        if (target == nullptr) target = ParseHandle(argv[2]);
        auto vk = static_cast<WPARAM>(Number(argv[3]));
        return PostMessageW(target, WM_KEYDOWN, vk, 1) &&
                       PostMessageW(target, WM_KEYUP, vk, 0xC0000001)
                   ? 0
                   : 1;
    }
    if (std::strcmp(command, "focus") == 0 && argc >= 3) {
        HWND focus = FocusOf(ParseHandle(argv[2]));
        if (focus == nullptr) return 1;
        std::printf("%d\n", GetDlgCtrlID(focus));
        return 0;
    }
    if (std::strcmp(command, "cursor") == 0 && argc >= 4) {
        // Another process's cursor cannot be read here, only told apart by its handle.
        int x = static_cast<int>(Number(argv[2]));
        int y = static_cast<int>(Number(argv[3]));
        SetCursorPos(x - 1, y);
        Sleep(200);
        SetCursorPos(x, y);
        Sleep(500);
        CURSORINFO info{};
        info.cbSize = sizeof info;
        if (!GetCursorInfo(&info) || info.hCursor == nullptr) return 1;
        std::printf("cursor=0x%llx\n",
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(info.hCursor)));
        return 0;
    }
    if (std::strcmp(command, "rescursor") == 0 && argc >= 4) {
        HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) return 1;
        auto cursor = static_cast<HCURSOR>(
            LoadImageA(module, MAKEINTRESOURCEA(Number(argv[3])), IMAGE_CURSOR, 0, 0, 0));
        ICONINFO icon{};
        if (cursor == nullptr || !GetIconInfo(cursor, &icon)) return 1;
        BITMAP mask{};
        GetObjectW(icon.hbmMask, sizeof mask, &mask);
        // Without a colour bitmap the mask holds both halves (AND over XOR).
        std::printf("hotspot=%lu,%lu size=%ldx%ld\n", icon.xHotspot, icon.yHotspot, mask.bmWidth,
                    icon.hbmColor != nullptr ? mask.bmHeight : mask.bmHeight / 2);
        if (icon.hbmMask) DeleteObject(icon.hbmMask);
        if (icon.hbmColor) DeleteObject(icon.hbmColor);
        return 0;
    }
    if (std::strcmp(command, "template") == 0 && argc >= 5) {
        return PrintTemplate(argv[2], argv[3], argv[4]);
    }
    if (std::strcmp(command, "languages") == 0 && argc >= 5) {
        HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) return 1;
        EnumResourceLanguagesA(module, MAKEINTRESOURCEA(Number(argv[3])),
                               MAKEINTRESOURCEA(Number(argv[4])), PrintLanguage, 0);
        std::printf("\n");
        return 0;
    }
    if ((std::strcmp(command, "bitmapinfo") == 0 || std::strcmp(command, "icongroup") == 0) &&
        argc >= 4) {
        HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) return 1;
        auto id = static_cast<WORD>(Number(argv[3]));
        return command[0] == 'b' ? PrintBitmapInfo(module, id) : PrintIconGroup(module, id);
    }
    if (std::strcmp(command, "closebox") == 0 && argc >= 3) {
        HWND window = ParseHandle(argv[2]);
        RECT rect;
        if (!GetWindowRect(window, &rect)) return 1;
        // Walk the caption from the right until the window itself says "close box".
        for (LONG y = rect.top + 2; y < rect.top + 40; ++y) {
            for (LONG x = rect.right - 2; x > rect.right - 60; --x) {
                LRESULT hit = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
                if (hit == HTCLOSE) {
                    std::printf("%ld %ld\n", x - 4, y + 4);
                    return 0;
                }
            }
        }
        return 1;
    }
    return Usage();
}
