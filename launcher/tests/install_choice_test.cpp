// The installer decision, one row per Windows the launcher may meet.
#include "core/install_choice.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace kq::launcher {
namespace {

enum class Wow64 { Yes, No, Missing };

// Answers like Windows would: which records it accepts, what it reports.
class FakeWindows : public VersionSource {
  public:
    FakeWindows(VersionRecord record, bool extendedAccepted, bool basicAccepted, Wow64 wow64)
        : record_(record), extended_(extendedAccepted), basic_(basicAccepted), wow64_(wow64) {}

    bool QueryExtended(VersionRecord& out) override {
        if (!extended_) {
            // A refused call still scribbles over the record on some systems.
            out.servicePackMajor = 0xBDBD;
            out.productType = 0xBD;
            return false;
        }
        out = record_;
        return true;
    }
    bool QueryBasic(VersionRecord& out) override {
        if (!basic_) return false;
        out.platform = record_.platform;
        out.major = record_.major;
        out.minor = record_.minor;
        return true;
    }
    bool IsWow64() override {
        ++wow64Questions;
        return wow64_ == Wow64::Yes;
    }

    int wow64Questions = 0;

  private:
    VersionRecord record_;
    bool extended_;
    bool basic_;
    Wow64 wow64_;
};

std::string Describe(const InstallChoice& c) {
    switch (c.action) {
        case InstallChoice::Action::StartProgram:
            return std::string("start ") + c.program;
        case InstallChoice::Action::ShowMessage:
            return "message " + std::to_string(c.messageId);
        case InstallChoice::Action::Nothing:
            break;
    }
    return "nothing";
}

struct Case {
    const char* windows;
    std::uint32_t platform, major, minor;
    std::uint16_t servicePack;
    std::uint8_t productType;
    bool extendedAccepted;
    bool basicAccepted;
    Wow64 wow64;
    const char* expected;
    bool wow64Asked;
};

constexpr bool kExt = true;
constexpr bool kBasicOnly = false;

const Case kCases[] = {
    // platform 1
    {"Windows 95", 1, 4, 0, 0, 0, kBasicOnly, true, Wow64::Missing, "message 14002", false},
    {"Windows 95 OSR2 (4.0 still)", 1, 4, 0, 0, 0, kBasicOnly, true, Wow64::Missing,
     "message 14002", false},
    {"Windows 98", 1, 4, 10, 0, 0, kBasicOnly, true, Wow64::Missing, "start DRVPK98.exe", false},
    {"Windows 98 SE", 1, 4, 10, 0, 0, kBasicOnly, true, Wow64::Missing, "start DRVPK98.exe", false},
    {"Windows Me", 1, 4, 90, 0, 0, kBasicOnly, true, Wow64::Missing, "start DRVPKME.exe", false},
    {"platform 1, 4.20", 1, 4, 20, 0, 0, kBasicOnly, true, Wow64::Missing, "nothing", false},
    {"platform 1, 5.0", 1, 5, 0, 0, 0, kBasicOnly, true, Wow64::Missing, "nothing", false},
    {"platform 1, 3.10", 1, 3, 10, 0, 0, kBasicOnly, true, Wow64::Missing, "nothing", false},
    // platform 2, NT
    {"Windows NT 3.51", 2, 3, 51, 0, 0, kBasicOnly, true, Wow64::Missing, "message 14001", false},
    {"Windows NT 4.0 SP6", 2, 4, 0, 6, 1, kExt, true, Wow64::Missing, "message 14001", false},
    {"platform 2, 0.0", 2, 0, 0, 0, 0, kExt, true, Wow64::No, "message 14001", false},
    {"Windows 2000 SP0", 2, 5, 0, 0, 1, kExt, true, Wow64::No, "start DRVPK2K.exe", false},
    {"Windows 2000 SP2", 2, 5, 0, 2, 1, kExt, true, Wow64::No, "start DRVPK2K.exe", false},
    {"Windows 2000 SP3", 2, 5, 0, 3, 1, kExt, true, Wow64::No, "start DRVPK2KS.exe", false},
    {"Windows 2000 SP4", 2, 5, 0, 4, 1, kExt, true, Wow64::No, "start DRVPK2KS.exe", false},
    {"Windows 2000 Server SP4", 2, 5, 0, 4, 3, kExt, true, Wow64::No, "start DRVPK2KS.exe", false},
    {"Windows 2000 SP4, basic record only", 2, 5, 0, 4, 1, kBasicOnly, true, Wow64::No,
     "start DRVPK2K.exe", false},
    {"Windows XP SP0", 2, 5, 1, 0, 1, kExt, true, Wow64::No, "start DRVPKXP.exe", false},
    {"Windows XP SP3", 2, 5, 1, 3, 1, kExt, true, Wow64::No, "start DRVPKXP.exe", false},
    {"Windows XP, product type 2", 2, 5, 1, 2, 2, kExt, true, Wow64::Yes, "start DRVPKXP.exe",
     false},
    {"Windows XP, basic record only", 2, 5, 1, 2, 1, kBasicOnly, true, Wow64::No,
     "start DRVPKXP.exe", false},
    // 5.2
    {"Windows XP x64 (WOW64, workstation)", 2, 5, 2, 2, 1, kExt, true, Wow64::Yes,
     "start DRVPKXP64.exe", true},
    {"5.2 workstation, not WOW64", 2, 5, 2, 2, 1, kExt, true, Wow64::No, "message 14006", true},
    {"5.2 workstation, no IsWow64Process", 2, 5, 2, 0, 1, kExt, true, Wow64::Missing,
     "message 14006", true},
    {"Server 2003 x64 (domain controller)", 2, 5, 2, 1, 2, kExt, true, Wow64::Yes, "message 14006",
     true},
    {"Server 2003 x64 (server)", 2, 5, 2, 1, 3, kExt, true, Wow64::Yes, "message 14006", true},
    {"Server 2003 32-bit", 2, 5, 2, 1, 3, kExt, true, Wow64::No, "message 14006", true},
    {"XP x64, basic record only", 2, 5, 2, 2, 1, kBasicOnly, true, Wow64::Yes, "message 14006",
     true},
    {"platform 2, 5.3", 2, 5, 3, 0, 1, kExt, true, Wow64::Yes, "nothing", false},
    // later Windows
    {"Windows Vista", 2, 6, 0, 0, 1, kExt, true, Wow64::Yes, "nothing", false},
    {"Windows 7", 2, 6, 1, 1, 1, kExt, true, Wow64::No, "nothing", false},
    {"Windows 10", 2, 10, 0, 0, 1, kExt, true, Wow64::Yes, "nothing", false},
    {"major 0xFFFFFFFF (unsigned compare)", 2, 0xFFFFFFFFu, 0, 0, 1, kExt, true, Wow64::No,
     "nothing", false},
    // platforms without a row
    {"Win32s (platform 0)", 0, 4, 10, 0, 0, kBasicOnly, true, Wow64::Missing, "nothing", false},
    {"Windows CE (platform 3)", 3, 5, 0, 0, 0, kBasicOnly, true, Wow64::Missing, "nothing", false},
    {"unknown platform 0x102", 0x102, 5, 1, 0, 1, kExt, true, Wow64::No, "nothing", false},
    // the query
    {"both queries refused (would be XP)", 2, 5, 1, 0, 1, false, false, Wow64::No, "nothing",
     false},
    {"both queries refused (would be 95)", 1, 4, 0, 0, 0, false, false, Wow64::No, "nothing",
     false},
};

class InstallChoiceTable : public testing::TestWithParam<Case> {};

TEST_P(InstallChoiceTable, DecidesLikeTheTable) {
    const Case& c = GetParam();
    VersionRecord record;
    record.platform = c.platform;
    record.major = c.major;
    record.minor = c.minor;
    record.servicePackMajor = c.servicePack;
    record.productType = c.productType;
    FakeWindows windows(record, c.extendedAccepted, c.basicAccepted, c.wow64);

    EXPECT_EQ(Describe(ChooseInstaller(windows)), c.expected) << c.windows;
    EXPECT_EQ(windows.wow64Questions, c.wow64Asked ? 1 : 0) << c.windows;
}

INSTANTIATE_TEST_SUITE_P(Windows, InstallChoiceTable, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                             std::string name;
                             for (const char* p = param.param.windows; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return std::to_string(param.index) + "_" + name;
                         });

TEST(InstallChoice, EveryClickDecidesAgain) {
    VersionRecord xp64{2, 5, 2, 2, 1};
    FakeWindows windows(xp64, true, true, Wow64::Yes);
    EXPECT_EQ(Describe(ChooseInstaller(windows)), "start DRVPKXP64.exe");
    EXPECT_EQ(Describe(ChooseInstaller(windows)), "start DRVPKXP64.exe");
    EXPECT_EQ(windows.wow64Questions, 2);
}

}  // namespace
}  // namespace kq::launcher
