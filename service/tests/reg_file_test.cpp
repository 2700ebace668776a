#include "testing/reg_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kqm {
namespace {

using namespace std::string_literals;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// A .reg file as regedit writes it: UTF-16LE with a byte order mark.
std::string Utf16File(std::u16string_view text) {
    std::string out = "\xff\xfe";
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xff);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

struct GoodCase {
    const char* what;
    std::string text;
    std::function<void(MemoryRegistry&)> expected;
};

TEST(RegFileTest, GoodInputsLoadAsExpected) {
    const GoodCase cases[] = {
        {"strings, default value and dwords",
         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\n@=\"def\"\n"
         "\"Name\"=\"a \\\"quoted\\\" \\\\ text\"\n\"Count\"=dword:0000000a\n"
         "\"Short\"=dword:A\n\"Max\"=DWORD:FFFFFFFF\n\"\\\\DosDevices\\\\E:\"=\"\"\n",
         [](MemoryRegistry& r) {
             r.SetStringAt("Software\\Vendor", "", "def");
             r.SetStringAt("Software\\Vendor", "Name", "a \"quoted\" \\ text");
             r.SetDwordAt("Software\\Vendor", "Count", 10);
             r.SetDwordAt("Software\\Vendor", "Short", 10);
             r.SetDwordAt("Software\\Vendor", "Max", 0xffffffffu);
             r.SetStringAt("Software\\Vendor", "\\DosDevices\\E:", "");
         }},
        {"hex values of every kind, taken as given in a REGEDIT4 file",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\H]\n\"B\"=hex:00,ff,7F\n\"Empty\"=hex:\n"
         "\"X\"=hex(2):25,41,25,00\n\"M\"=hex(7):61,00,62,00,00\n\"S\"=hex(1):61,e9\n"
         "\"N\"=hex(0):\n\"T\"=hex(abcd):01\n\"Q\"=hex(b):1,2 , 3\n",
         [](MemoryRegistry& r) {
             r.SetValueAt("H", "B", kRegBinary, {0x00, 0xff, 0x7f});
             r.SetValueAt("H", "Empty", kRegBinary, {});
             r.SetValueAt("H", "X", kRegExpandSz, Bytes("%A%\0"s));
             r.SetValueAt("H", "M", kRegMultiSz, Bytes("a\0b\0\0"s));
             r.SetValueAt("H", "S", kRegSz, {0x61, 0xe9});
             r.SetValueAt("H", "N", kRegNone, {});
             r.SetValueAt("H", "T", 0xabcd, {0x01});
             r.SetValueAt("H", "Q", 11, {1, 2, 3});
         }},
        {"hex data continued over lines",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\C]\n\"C\"=hex:01,02,\\\n    03,04,\\\n\t05\n"
         "\"D\"=hex(7):\\\n  61,\\\n  00\n\"E\"=hex:01 \\\n  ,02\n",
         [](MemoryRegistry& r) {
             r.SetValueAt("C", "C", kRegBinary, {1, 2, 3, 4, 5});
             r.SetValueAt("C", "D", kRegMultiSz, {0x61, 0x00});
             r.SetValueAt("C", "E", kRegBinary, {1, 2});
         }},
        {"comments, blank lines, indentation and CRLF",
         "REGEDIT4\r\n\r\n; a comment\r\n  ;indented comment\r\n  [HKEY_LOCAL_MACHINE\\A]  \r\n"
         "\t\"v\" = \"x\"\r\n\r\n",
         [](MemoryRegistry& r) { r.SetStringAt("A", "v", "x"); }},
        {"key and value names compare without regard to case and keep their first case",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Soft\\Key]\n\"Val\"=\"1\"\n"
         "[hkey_local_machine\\SOFT\\key\\Sub]\n[HKEY_LOCAL_MACHINE\\soft\\KEY]\n\"VAL\"=\"2\"\n",
         [](MemoryRegistry& r) {
             r.SetStringAt("Soft\\Key", "Val", "2");
             r.CreateKeyAt("Soft\\Key\\Sub");
         }},
        {"deletions of keys and values, present or absent",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"v\"=\"1\"\n[HKEY_LOCAL_MACHINE\\A]\n"
         "\"w\"=\"2\"\n\"x\"=\"3\"\n\"w\"=-\n\"absent\"=-\n[-HKEY_LOCAL_MACHINE\\a\\b]\n"
         "[-HKEY_LOCAL_MACHINE\\Absent\\Key]\n",
         [](MemoryRegistry& r) { r.SetStringAt("A", "x", "3"); }},
        {"a key line alone creates the key; the last ']' closes the name",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Empty\\Key]\n[HKEY_LOCAL_MACHINE\\A\\x]y ;=\xff]\n",
         [](MemoryRegistry& r) {
             r.CreateKeyAt("Empty\\Key");
             r.CreateKeyAt("A\\x]y ;=\xff");
         }},
        {"values of HKEY_LOCAL_MACHINE itself and an empty quoted name as the default value",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"r\"=\"1\"\n[HKEY_LOCAL_MACHINE\\K]\n\"\"=\"d\"\n",
         [](MemoryRegistry& r) {
             r.SetStringAt("", "r", "1");
             r.SetStringAt("K", "", "d");
         }},
        {"REGEDIT4 text is 8-bit and kept byte for byte",
         "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Caf\xe9]\n\"s\"=\"caf\xe9\"\n\"x\"=hex(2):e9,00\n",
         [](MemoryRegistry& r) {
             r.SetStringAt("Caf\xe9", "s", "caf\xe9");
             r.SetValueAt("Caf\xe9", "x", kRegExpandSz, {0xe9, 0x00});
         }},
        {"5.00 in UTF-8: text as the ANSI functions return it, binary data as given",
         "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n"
         "\"s\"=\"caf\xc3\xa9 \xe2\x82\xac \xff\"\n\"x\"=hex(2):41,00,e9,00,00,00\n"
         "\"m\"=hex(7):61,00,00,00,00,00\n\"b\"=hex:41,00\n\"o\"=hex(1):62,00,63\n"
         "\"d\"=hex(4):01,00\n",
         [](MemoryRegistry& r) {
             r.SetStringAt("K", "s", "caf? ? ?");
             r.SetValueAt("K", "x", kRegExpandSz, Bytes("A?\0"s));
             r.SetValueAt("K", "m", kRegMultiSz, Bytes("a\0\0"s));
             r.SetValueAt("K", "b", kRegBinary, {0x41, 0x00});
             r.SetValueAt("K", "o", kRegSz, {0x62});
             r.SetValueAt("K", "d", kRegDword, {0x01, 0x00});
         }},
        {"5.00 in UTF-8 with a byte order mark",
         "\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\Schl\xc3\xbcssel]\r\n\"Gr\xc3\xb6\xc3\x9f\"=\"ok\"\r\n",
         [](MemoryRegistry& r) { r.SetStringAt("Schl?ssel", "Gr??", "ok"); }},
        {"5.00 in UTF-16LE: a surrogate pair is one character",
         Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\K\u00e9]\r\n"
                   u"\"s\"=\"a\U0001f600b\u4e2d\"\r\n\"x\"=hex(2):3d,d8,00,de,00,dc,3d,d8,00,00\r\n"
                   u"\"b\"=hex:3d,d8,00,de\r\n"),
         [](MemoryRegistry& r) {
             r.SetStringAt("K?", "s", "a?b?");
             r.SetValueAt("K?", "x", kRegExpandSz, Bytes("???\0"s));
             r.SetValueAt("K?", "b", kRegBinary, {0x3d, 0xd8, 0x00, 0xde});
         }},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRegistry loaded;
        const RegLoadResult result = LoadRegText(c.text, loaded);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_EQ(result.message, "");
        MemoryRegistry expected;
        c.expected(expected);
        EXPECT_EQ(loaded.Dump(), expected.Dump());
        EXPECT_EQ(loaded.callCounts().total, 0u);
        EXPECT_TRUE(loaded.mutations().empty());
    }
}

TEST(RegFileTest, DumpOfALoadedFileListsKeysAndValuesInOrder) {
    MemoryRegistry registry;
    const RegLoadResult result = LoadRegText(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\b\\Z]\n\"v\"=dword:1\n"
        "[HKEY_LOCAL_MACHINE\\a]\n@=\"x\"\n\"\\\\d\"=hex:ab\n",
        registry);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(registry.Dump(),
              "[a]\n"
              "@=sz:78,00\n"
              "\"\\\\d\"=binary:ab\n"
              "[b]\n"
              "[b\\Z]\n"
              "\"v\"=dword:01,00,00,00\n");
}

TEST(RegFileTest, LoadingAddsToWhatIsThereAndDeletesFromIt) {
    MemoryRegistry registry;
    registry.SetStringAt("Keep\\Sub", "v", "1");
    registry.SetStringAt("Gone\\Sub\\Deeper", "v", "1");
    registry.SetStringAt("Values", "stay", "1");
    registry.SetStringAt("Values", "drop", "1");
    const RegLoadResult result = LoadRegText(
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\GONE]\n[HKEY_LOCAL_MACHINE\\Values]\n\"DROP\"=-\n"
        "\"new\"=\"2\"\n",
        registry);
    ASSERT_TRUE(result.ok) << result.message;
    MemoryRegistry expected;
    expected.SetStringAt("Keep\\Sub", "v", "1");
    expected.SetStringAt("Values", "stay", "1");
    expected.SetStringAt("Values", "new", "2");
    EXPECT_EQ(registry.Dump(), expected.Dump());
}

struct BadCase {
    std::string text;
    int line;
    const char* fragment;
};

TEST(RegFileTest, BadInputNamesTheLineAndLeavesTheRegistryAsItWas) {
    // Lines 1 to 4 are good and would change the registry; the bad line follows on line 5.
    const std::string good =
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Keep]\n[HKEY_LOCAL_MACHINE\\New]\n\"a\"=\"b\"\n";
    const BadCase cases[] = {
        {"", 1, "expected the header"},
        {"REGEDIT5\n", 1, "expected the header"},
        {"[HKEY_LOCAL_MACHINE\\a]\n", 1, "expected the header"},
        {"\xef\xbb\xbfREGEDIT4\n", 1, "expected the header"},
        {Utf16File(u"REGEDIT4\r\n"), 1, "expected the header"},
        {"\xfe\xff\0W"s, 1, "big-endian"},
        {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\a]\r\n") + "x", 3,
         "half a character"},
        {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\a]\r\n"
                   u"\"v\"=x\r\n"),
         3, "expected \"text\""},
        {"REGEDIT4\n\n\"a\"=\"b\"\n", 3, "value line before any key line"},
        {good + "\"a\"", 5, "expected '=' after value name"},
        {good + "\"a\" \"b\"", 5, "expected '=' after value name"},
        {good + "@ x", 5, "expected '=' after value name"},
        {good + "\"abc", 5, "unterminated value name"},
        {good + "\"a\\", 5, "unterminated value name"},
        {good + "\"a\"=\"abc", 5, "unterminated string"},
        {good + "\"a\"=\"abc\\", 5, "unterminated string"},
        {good + "\"a\\q\"=\"x\"", 5, "unknown escape \\q"},
        {good + "\"a\"=\"x\\n\"", 5, "unknown escape \\n"},
        {good + "\"a\"=\"x\" y", 5, "after the closing quote"},
        {good + "\"a\\0b\"=\"x\""s.replace(2, 2, "\0"s), 5, "cannot contain NUL"},
        {good + "\"a\"=dword:123456789", 5, "dword"},
        {good + "\"a\"=dword:", 5, "dword"},
        {good + "\"a\"=dword:12g", 5, "dword"},
        {good + "\"a\"=dword:-1", 5, "dword"},
        {good + "\"a\"=hex:1g", 5, "unexpected 'g' in hex data"},
        {good + "\"a\"=hex:123", 5, "more than two digits"},
        {good + "\"a\"=hex:aa,,bb", 5, "hex byte before ','"},
        {good + "\"a\"=hex:,aa", 5, "hex byte before ','"},
        {good + "\"a\"=hex:aa bb", 5, "expected ','"},
        {good + "\"a\"=hex:aa,", 5, "ends with ','"},
        {good + "\"a\"=hex:aa\x01", 5, "byte 0x01"},
        {good + "\"a\"=hex(2:00", 5, "hex(type)"},
        {good + "\"a\"=hex():00", 5, "hex(type)"},
        {good + "\"a\"=hex(123456789):00", 5, "hex(type)"},
        {good + "\"a\"=hex(2)00", 5, "hex(type)"},
        {good + "\"a\"=hex(2)", 5, "hex(type)"},
        {good + "\"a\"=hex(zz):00", 5, "hex(type)"},
        {good + "\"a\"=hexx:00", 5, "hex(type)"},
        {good + "\"a\"=foo", 5, "expected \"text\""},
        {good + "\"a\"=", 5, "expected \"text\""},
        {good + "\"a\"=hex:01,\\", 5, "continues past the end of the file"},
        {good + "\"a\"=hex:01,\\\n  02,\\\n  0x\n\"b\"=\"c\"\n", 7, "unexpected 'x'"},
        {good + "\"a\"=hex:01,02\\\n  03\n", 6, "expected ','"},
        {good + "[HKEY_CURRENT_USER\\Software]", 5, "only HKEY_LOCAL_MACHINE keys can be loaded"},
        {good + "[HKLM\\Software]", 5, "only HKEY_LOCAL_MACHINE"},
        {good + "[HKEY_LOCAL_MACHINEX\\a]", 5, "only HKEY_LOCAL_MACHINE"},
        {good + "[-HKEY_USERS\\a]", 5, "only HKEY_LOCAL_MACHINE"},
        {good + "[]", 5, "only HKEY_LOCAL_MACHINE"},
        {good + "[", 5, "expected ']'"},
        {good + "[HKEY_LOCAL_MACHINE\\a", 5, "expected ']'"},
        {good + "[HKEY_LOCAL_MACHINE\\a] x", 5, "expected ']'"},
        {good + "[HKEY_LOCAL_MACHINE\\a\\\\b]", 5, "empty key name"},
        {good + "[HKEY_LOCAL_MACHINE\\a\\]", 5, "empty key name"},
        {good + "[HKEY_LOCAL_MACHINE\\]", 5, "empty key name"},
        {good + "[HKEY_LOCAL_MACHINE\\a\\0b]"s.replace(21, 2, "\0"s), 5, "cannot contain NUL"},
        {good + "[-HKEY_LOCAL_MACHINE]", 5, "HKEY_LOCAL_MACHINE itself cannot be deleted"},
        {good + "[-HKEY_LOCAL_MACHINE\\x]\n\"v\"=\"1\"", 6, "value line after a key deletion"},
        {good + "garbage", 5, "expected a [key] line"},
        {good + "\n\n\n\n\n\"a\"=", 10, "expected \"text\""},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.text);
        MemoryRegistry registry;
        registry.SetStringAt("Keep\\Sub", "v", "1");
        const std::string before = registry.Dump();
        const RegLoadResult result = LoadRegText(c.text, registry);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
            << result.message;
        EXPECT_NE(result.message.find(c.fragment), std::string::npos) << result.message;
        EXPECT_EQ(registry.Dump(), before);
    }
}

TEST(RegFileTest, ErrorMessageNamesTheLine) {
    MemoryRegistry registry;
    const RegLoadResult result =
        LoadRegText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"\n", registry);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 4);
    EXPECT_EQ(result.message, "line 4: expected '=' after value name");
}

TEST(RegFileTest, UnicodeFileAsRegeditWritesItEqualsTheSameRegedit4File) {
    MemoryRegistry unicode;
    MemoryRegistry ansi;
    const RegLoadResult unicodeResult =
        LoadRegFile(KQ_FIXTURES_DIR "/regfile/reader_unicode.reg", unicode);
    const RegLoadResult ansiResult =
        LoadRegFile(KQ_FIXTURES_DIR "/regfile/reader_regedit4.reg", ansi);
    ASSERT_TRUE(unicodeResult.ok) << unicodeResult.message;
    ASSERT_TRUE(ansiResult.ok) << ansiResult.message;
    EXPECT_EQ(unicode.Dump(), ansi.Dump());

    // Binary data stays UTF-16; text types come back as 8-bit text.
    const std::string device =
        "\\??\\STORAGE#RemovableMedia#7&2a4b6c8d&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
    std::vector<std::uint8_t> wide;
    for (const char c : device) {
        wide.push_back(static_cast<std::uint8_t>(c));
        wide.push_back(0);
    }
    EXPECT_EQ(unicode.GetValueAt("SYSTEM\\MountedDevices", "\\DosDevices\\E:"),
              (StoredValue{kRegBinary, wide}));
    const std::string instance =
        "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_Generic&Prod_CF&Rev_1.00\\"
        "000000001&0";
    EXPECT_EQ(unicode.GetValueAt(instance, "HardwareID"),
              (StoredValue{kRegMultiSz,
                           Bytes("USBSTOR\\DiskGeneric_CF______1.00\0USBSTOR\\GenDisk\0\0"s)}));
    EXPECT_EQ(unicode.GetValueAt(instance, "Path"),
              (StoredValue{kRegExpandSz, Bytes("%SystemRoot%\\system32\0"s)}));
    EXPECT_EQ(unicode.GetValueAt(instance, "ParentIdPrefix"),
              (StoredValue{kRegSz, Bytes("7&2a4b6c8d&0\0"s)}));
    EXPECT_EQ(unicode.GetValueAt(instance, "Odd"), (StoredValue{kRegBinary, {1, 2, 3}}));
    EXPECT_EQ(
        unicode.GetValueAt("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\E\\"
                           "DefaultLabel",
                           ""),
        (StoredValue{kRegSz, Bytes("CF \"Card\" \\ slot\0"s)}));
}

TEST(RegFileTest, UnreadableFileIsAnErrorWithoutALine) {
    MemoryRegistry registry;
    registry.CreateKeyAt("Keep");
    const std::string path = KQ_FIXTURES_DIR "/regfile/does_not_exist.reg";
    const RegLoadResult result = LoadRegFile(path, registry);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 0);
    EXPECT_NE(result.message.find(path), std::string::npos);
    EXPECT_EQ(registry.SubkeyNames(""), std::vector<std::string>{"Keep"});
}

TEST(RegFileTest, HugeHexListLoads) {
    std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Big]\n\"b\"=hex:";
    const std::size_t count = 200000;
    for (std::size_t i = 0; i < count; ++i) {
        text += i == 0 ? "" : (i % 25 == 0 ? ",\\\n  " : ",");
        text += "5a";
    }
    text += "\n";
    MemoryRegistry registry;
    const RegLoadResult result = LoadRegText(text, registry);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(registry.GetValueAt("Big", "b"),
              (StoredValue{kRegBinary, std::vector<std::uint8_t>(count, 0x5a)}));
}

// Damaged copies of a good file either load or fail naming a line, leaving the registry as it
// was; nothing crashes (run it under the sanitizers).
TEST(RegFileTest, DamagedFilesLoadOrFailCleanly) {
    const std::string good =
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Keep]\n[HKEY_LOCAL_MACHINE\\A\\B]\n@=\"x\\\\y\"\n"
        "\"d\"=dword:0000000a\n\"h\"=hex(7):61,00,\\\n  62,00,00\n\"gone\"=-\n";
    const std::string unicode = Utf16File(
        u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
        u"\"s\"=\"\u00e9\"\r\n\"m\"=hex(2):41,00,\\\r\n  00,00\r\n");
    const std::string symbols = "[]\\\"@=-:,;()\n\r\0 hexdword7"s;
    std::mt19937 random(12345);
    for (const std::string& source : {good, unicode}) {
        for (int round = 0; round < 1500; ++round) {
            std::string text = source;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                const std::size_t at = random() % text.size();
                switch (random() % 4) {
                    case 0:
                        text[at] = symbols[random() % symbols.size()];
                        break;
                    case 1:
                        text.erase(at, 1 + random() % 3);
                        break;
                    case 2:
                        text.insert(at, 1, symbols[random() % symbols.size()]);
                        break;
                    default:
                        text.resize(at);
                        break;
                }
            }
            MemoryRegistry registry;
            registry.SetStringAt("Keep", "v", "1");
            const std::string before = registry.Dump();
            const RegLoadResult result = LoadRegText(text, registry);
            if (!result.ok) {
                ASSERT_GE(result.line, 1) << text;
                ASSERT_EQ(result.message.rfind("line " + std::to_string(result.line) + ": ", 0), 0u)
                    << result.message;
                ASSERT_EQ(registry.Dump(), before) << text;
            }
            EXPECT_EQ(registry.openHandleCount(), 0u);
        }
    }
}

}  // namespace
}  // namespace kqm
