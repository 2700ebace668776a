// Paths and messages as code page 932 text: 0x5C as a second byte is not a backslash.
#include "core/mbcs_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kq::launcher {
namespace {

// Shift JIS characters whose second byte is 0x5C ('\').
#define HYO "\x95\x5C"  // 表
#define SO "\x83\x5C"   // ソ
#define NO "\x94\x5C"   // 能

struct BackslashCase {
    const char* path;
    long expected;  // offset of the last backslash, -1 for none
};

TEST(FindLastBackslash, WalksDoubleByteCharacters) {
    const BackslashCase cases[] = {
        {"D:\\Install.exe", 2},
        {"D:\\" HYO "\\Install.exe", 5},
        {"D:\\" HYO "\\" SO NO "\\Install.exe", 10},
        {"D:\\dir\\" SO, 6},          // ends in a 0x5C second byte
        {"D:\\" SO SO SO, 2},         // only second bytes after the drive
        {SO, -1},                     // nothing but a double-byte character
        {"Install.exe", -1},          // no directory at all
        {"", -1},                     //
        {"\\\\server\\share\\", 14},  // trailing backslash itself
        {"a\\\x95", 1},               // lone lead byte at the end, before the terminator
        {"\x95\\\\", 2},              // lead byte pairs with the first backslash
    };
    for (const auto& c : cases) {
        const char* found = FindLastBackslash(c.path, IsCp932LeadByte);
        long offset = found ? static_cast<long>(found - c.path) : -1;
        EXPECT_EQ(offset, c.expected) << c.path;
    }
}

TEST(FindLastBackslash, SingleByteCodePageSeesEveryBackslash) {
    const char* path = "D:\\" HYO "\\x";
    EXPECT_EQ(FindLastBackslash(path, IsNeverLeadByte) - path, 5);
    const char* tail = "D:\\dir\\" SO;
    EXPECT_EQ(FindLastBackslash(tail, IsNeverLeadByte) - tail, 8);
}

TEST(PathBeside, PutsTheManualBesideTheLauncher) {
    struct Case {
        const char* module;
        const char* expected;
    };
    const Case cases[] = {
        {"D:\\Install.exe", "D:\\ReadMeJ.PDF"},
        {"D:\\" HYO "\\Install.exe", "D:\\" HYO "\\ReadMeJ.PDF"},
        {"C:\\" SO "\\" NO "\\Install.exe", "C:\\" SO "\\" NO "\\ReadMeJ.PDF"},
        {"D:\\dir" SO "\\Install.exe", "D:\\dir" SO "\\ReadMeJ.PDF"},
        {"Install.exe", "ReadMeJ.PDF"},
    };
    for (const auto& c : cases) {
        char out[260];
        std::memset(out, 0xBD, sizeof out);
        ASSERT_TRUE(PathBeside(out, sizeof out, c.module, "ReadMeJ.PDF", IsCp932LeadByte));
        EXPECT_STREQ(out, c.expected);
    }
}

TEST(PathBeside, RefusesWhatDoesNotFitAndNeverWritesPastTheBuffer) {
    // 247-byte directory + 12 = 259 bytes + terminator: exactly fills 260.
    std::string dir = "D:\\" + std::string(243, 'a') + "\\";
    ASSERT_EQ(dir.size(), 247u);
    char out[260 + 8];
    std::memset(out, 0xBD, sizeof out);
    std::string module = dir + "Install.exe";
    ASSERT_TRUE(PathBeside(out, 260, module.c_str(), "ReadMe1.PDFx", IsCp932LeadByte));
    EXPECT_EQ(std::strlen(out), 259u);
    EXPECT_EQ(static_cast<unsigned char>(out[260]), 0xBD);

    std::memset(out, 0xBD, sizeof out);
    EXPECT_FALSE(PathBeside(out, 260, module.c_str(), "ReadMe12.PDFx", IsCp932LeadByte));
    EXPECT_STREQ(out, "");
    for (std::size_t i = 260; i < sizeof out; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(out[i]), 0xBD);
    }

    std::memset(out, 0xBD, sizeof out);
    EXPECT_FALSE(PathBeside(out, 0, module.c_str(), "x", IsCp932LeadByte));
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0xBD);
}

TEST(FileTitle, NamesTheProgramWithoutDirectoryAndExtension) {
    struct Case {
        const char* module;
        const char* expected;
    };
    const Case cases[] = {
        {"D:\\Install.exe", "Install"},
        {"D:\\setup.v2\\Install.exe", "Install"},
        {"D:\\" HYO "\\Install.exe", "Install"},
        {"D:\\" HYO ".exe", HYO},
        {"D:\\dir\\Install", "Install"},
        {"Install.old.exe", "Install.old"},
        {"D:\\dir\\", ""},
    };
    for (const auto& c : cases) {
        char out[260];
        ASSERT_TRUE(FileTitle(out, sizeof out, c.module, IsCp932LeadByte)) << c.module;
        EXPECT_STREQ(out, c.expected);
    }
    char small[4];
    EXPECT_FALSE(FileTitle(small, sizeof small, "D:\\Install.exe", IsCp932LeadByte));
    EXPECT_STREQ(small, "");
}

TEST(FormatWithName, FillsTheOneNameLikePrintf) {
    struct Case {
        const char* pattern;
        const char* arg;
        const char* expected;
    };
    const Case cases[] = {
        {"File : %s not found", "DRVPKXP.exe", "File : DRVPKXP.exe not found"},
        {"\x83t\x83@\x83"
         "C\x83\x8B %s \x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9"
         "\x82\xF1",
         "ReadMeJ.PDF",
         "\x83t\x83@\x83"
         "C\x83\x8B ReadMeJ.PDF \x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC"
         "\x82\xB9\x82\xF1"},
        {"100%% %s", "x", "100% x"},
        {"%s and %s", "a", "a and %s"},  // one argument only
        {"%d %s %n", "a", "%d a %n"},    // other conversions are plain text
        {"no name", "a", "no name"},
        {"%s", "%s%n", "%s%n"},  // the name is never a pattern
        {SO "%s", "x", SO "x"},  // 0x5C second byte before the conversion
        {"ends in %", "a", "ends in %"},
    };
    for (const auto& c : cases) {
        char out[64];
        std::size_t n = FormatWithName(out, sizeof out, c.pattern, c.arg, IsCp932LeadByte);
        EXPECT_STREQ(out, c.expected) << c.pattern;
        EXPECT_EQ(n, std::strlen(c.expected));
    }
}

TEST(FormatWithName, CutsAtAWholeCharacterAndNeverOverruns) {
    std::string longName(600, 'N');
    char out[32 + 4];
    std::memset(out, 0xBD, sizeof out);
    std::size_t n =
        FormatWithName(out, 32, "File : %s not found", longName.c_str(), IsCp932LeadByte);
    EXPECT_EQ(n, 31u);
    EXPECT_EQ(std::string(out), "File : " + std::string(24, 'N'));
    for (std::size_t i = 32; i < sizeof out; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(out[i]), 0xBD);
    }

    // Room for "ab" and half of a double-byte character: the half is left out.
    char small[4];
    EXPECT_EQ(FormatWithName(small, sizeof small, "ab" HYO, "", IsCp932LeadByte), 2u);
    EXPECT_STREQ(small, "ab");

    char none[1] = {'x'};
    EXPECT_EQ(FormatWithName(none, sizeof none, "%s", "abc", IsCp932LeadByte), 0u);
    EXPECT_EQ(none[0], '\0');
}

}  // namespace
}  // namespace kq::launcher
