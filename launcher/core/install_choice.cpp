// The installer decision table.
#include "core/install_choice.h"

namespace kq::launcher {

InstallChoice ChooseInstaller(const VersionRecord& v, VersionSource& source) {
    if (v.platform == kPlatformWin9x && v.major == 4) {
        switch (v.minor) {
            case 0:
                return InstallChoice::Message(kMsg95NotSupported);
            case 10:
                return InstallChoice::Start("DRVPK98.exe");
            case 90:
                return InstallChoice::Start("DRVPKME.exe");
            default:
                return InstallChoice::Nothing();
        }
    }
    if (v.platform != kPlatformNt) {
        return InstallChoice::Nothing();
    }
    if (v.major <= 4) {
        return InstallChoice::Message(kMsgNtNotSupported);
    }
    if (v.major != 5) {
        return InstallChoice::Nothing();
    }
    switch (v.minor) {
        case 0:
            return InstallChoice::Start(v.servicePackMajor >= 3 ? "DRVPK2KS.exe" : "DRVPK2K.exe");
        case 1:
            return InstallChoice::Start("DRVPKXP.exe");
        case 2:
            // Only the x64 edition of XP is a workstation 5.2; 32-bit code there runs under WOW64.
            if (source.IsWow64() && v.productType == kProductWorkstation) {
                return InstallChoice::Start("DRVPKXP64.exe");
            }
            return InstallChoice::Message(kMsg2003NotSupported);
        default:
            return InstallChoice::Nothing();
    }
}

InstallChoice ChooseInstaller(VersionSource& source) {
    VersionRecord version;
    if (!source.QueryExtended(version)) {
        version = VersionRecord{};
        if (!source.QueryBasic(version)) {
            return InstallChoice::Nothing();
        }
        version.servicePackMajor = 0;
        version.productType = 0;
    }
    return ChooseInstaller(version, source);
}

}  // namespace kq::launcher
