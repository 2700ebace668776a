// Text handling of the launcher in the ANSI code page: paths and messages as multibyte text.
#pragma once

#include <cstddef>

namespace kq::launcher {

// Tells whether a byte starts a double-byte character in the code page in use.
using LeadByteTest = bool (*)(unsigned char);

// Lead bytes of code page 932 (Shift JIS), whose second bytes include 0x5C.
bool IsCp932LeadByte(unsigned char byte);
// A single-byte code page: no lead bytes at all.
bool IsNeverLeadByte(unsigned char byte);

// The last backslash of text, walking it character by character, so the second byte of a
// double-byte character is never taken for one; nullptr when there is none.
const char* FindLastBackslash(const char* text, LeadByteTest isLead);

// out = the directory of modulePath (with its trailing backslash; empty when modulePath has no
// backslash) followed by fileName. False, with out empty, when that does not fit outSize.
bool PathBeside(char* out, std::size_t outSize, const char* modulePath, const char* fileName,
                LeadByteTest isLead);

// out = the file name of modulePath without directory and extension ("Install" for
// "D:\Install.exe"). False, with out empty, when it does not fit outSize.
bool FileTitle(char* out, std::size_t outSize, const char* modulePath, LeadByteTest isLead);

// out = pattern with its first "%s" replaced by arg and "%%" by "%", as printf would make it of
// the two, cut at the end of the last whole character that fits. Returns the length written.
std::size_t FormatWithName(char* out, std::size_t outSize, const char* pattern, const char* arg,
                           LeadByteTest isLead);

}  // namespace kq::launcher
