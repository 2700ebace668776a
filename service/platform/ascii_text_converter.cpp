// The portable stand-in for WideCharToMultiByte(CP_ACP) on device names.
#include "platform/system.h"

namespace kqm {

int AsciiTextConverter::WideToAnsi(const char16_t* text, int length, char* out, int outSize) {
    // Like the real call: nothing to convert or no room for all of it is a failure (0).
    if (text == nullptr || out == nullptr || length <= 0 || length > outSize) return 0;
    for (int i = 0; i < length; ++i) {
        const char16_t unit = text[i];
        out[i] = unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return length;
}

}  // namespace kqm
