// Which installer program fits the running Windows: the decision apart from the Windows calls.
#pragma once

#include <cstdint>

namespace kq::launcher {

// The fields of the Windows version record the decision reads.
struct VersionRecord {
    std::uint32_t platform = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint16_t servicePackMajor = 0;  // 0 when only the basic record was accepted
    std::uint8_t productType = 0;        // 0 when only the basic record was accepted
};

constexpr std::uint32_t kPlatformWin9x = 1;
constexpr std::uint32_t kPlatformNt = 2;
constexpr std::uint8_t kProductWorkstation = 1;

// Message ids of the string table used by the INSTALL button.
constexpr unsigned kMsgFileNotFound = 14000;
constexpr unsigned kMsgNtNotSupported = 14001;
constexpr unsigned kMsg95NotSupported = 14002;
constexpr unsigned kMsg2003NotSupported = 14006;

// Where the version record comes from. Windows offers a 156-byte extended record and, on
// older systems, only the 148-byte basic one.
class VersionSource {
  public:
    virtual ~VersionSource() = default;
    // Fills out from the extended record; false when Windows refuses it.
    virtual bool QueryExtended(VersionRecord& out) = 0;
    // Fills platform, major and minor from the basic record; false when refused.
    virtual bool QueryBasic(VersionRecord& out) = 0;
    // Whether the launcher runs under WOW64; false where Windows cannot tell.
    virtual bool IsWow64() = 0;
};

struct InstallChoice {
    enum class Action { Nothing, StartProgram, ShowMessage };
    Action action = Action::Nothing;
    const char* program = nullptr;  // bare file name, for StartProgram
    unsigned messageId = 0;         // string id, for ShowMessage

    static InstallChoice Nothing() { return {}; }
    static InstallChoice Start(const char* name) { return {Action::StartProgram, name, 0}; }
    static InstallChoice Message(unsigned id) { return {Action::ShowMessage, nullptr, id}; }
};

// The table itself. The WOW64 question is asked only for version 5.2 of the NT platform.
InstallChoice ChooseInstaller(const VersionRecord& version, VersionSource& source);

// Queries the version (extended record first, then the basic one) and decides. Both queries
// refused: nothing.
InstallChoice ChooseInstaller(VersionSource& source);

}  // namespace kq::launcher
