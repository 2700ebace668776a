// The command line of the service program: -v reports, -i installs, -u removes.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/nt_service.h"

namespace kqm {
namespace {

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(*a) != lower(*b)) return false;
        if (*a == '\0') return true;
    }
}

// The program path as the service entry gets it: quoted when it holds a space, so Windows
// can't take "C:\Program" for the program.
void FormatBinaryPath(const char* path, char (&binaryPath)[kModulePathSize + 2]) {
    if (std::strchr(path, ' ') != nullptr) {
        std::snprintf(binaryPath, sizeof binaryPath, "\"%s\"", path);
    } else {
        std::snprintf(binaryPath, sizeof binaryPath, "%s", path);
    }
}

}  // namespace

void CNTService::Print(const char* format, ...) {
    char text[1024];
    std::va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written >= 0) platform_.PrintToConsole(text);
}

bool CNTService::HandleCommandLine(int argc, char** argv) {
    if (argc < 2) return false;
    const char* option = argv[1];
    if (EqualsIgnoringAsciiCase(option, "-v")) {
        Print("%s Version %d.%d%d\n", serviceName, versionMajor, versionMinor, versionRevision);
        Print("The service is %s installed\n", IsServiceInstalled() ? "currently" : "not");
        return true;
    }
    if (EqualsIgnoringAsciiCase(option, "-i")) {
        if (IsServiceInstalled()) {
            Print("%s is already installed\n", serviceName);
        } else if (InstallService()) {
            Print("%s installed\n", serviceName);
        } else {
            const auto error = static_cast<int>(platform_.GetLastError());
            Print("%s failed to install. Error %d\n", serviceName, error);
        }
        return true;
    }
    if (EqualsIgnoringAsciiCase(option, "-u")) {
        if (!IsServiceInstalled()) {
            Print("%s is not installed\n", serviceName);
        } else if (RemoveService()) {
            char path[kModulePathSize] = {};
            platform_.GetModuleFileNameA(path, sizeof path);
            path[sizeof path - 1] = '\0';
            Print("%s removed. (You must delete the file (%s) yourself.)\n", serviceName, path);
        } else {
            const auto error = static_cast<int>(platform_.GetLastError());
            Print("Could not remove %s. Error %d\n", serviceName, error);
        }
        return true;
    }
    return false;
}

bool CNTService::IsServiceInstalled() {
    ServiceHandle manager(CloseServiceHandleCloser{&platform_},
                          platform_.OpenSCManagerA(kScManagerAllAccess));
    if (!manager) return false;
    const ServiceHandle service(
        CloseServiceHandleCloser{&platform_},
        platform_.OpenServiceA(manager.get(), serviceName, kServiceQueryConfig));
    return static_cast<bool>(service);
}

bool CNTService::InstallService() {
    const ServiceHandle manager(CloseServiceHandleCloser{&platform_},
                                platform_.OpenSCManagerA(kScManagerAllAccess));
    if (!manager) return false;

    char path[kModulePathSize] = {};
    platform_.GetModuleFileNameA(path, sizeof path);
    path[sizeof path - 1] = '\0';
    char binaryPath[kModulePathSize + 2];
    FormatBinaryPath(path, binaryPath);

    ServiceEntry entry;
    entry.serviceName = serviceName;
    entry.displayName = serviceName;
    entry.desiredAccess = kServiceAllAccess;
    entry.serviceType = kServiceWin32OwnProcess;
    entry.startType = kServiceAutoStart;
    entry.errorControl = kServiceErrorNormal;
    entry.binaryPathName = binaryPath;
    const ServiceHandle service(CloseServiceHandleCloser{&platform_},
                                platform_.CreateServiceA(manager.get(), entry));
    if (!service) return false;

    char keyPath[kEventLogKeyPathSize];
    std::snprintf(keyPath, sizeof keyPath, "%s%s", kEventLogApplicationPath, serviceName);
    ScopedKey key(registry_);
    const long created = key.CreateDefaultView(keyPath);
    if (created != kErrorSuccess) {
        // The registry answers with a result code; make it the error that -i prints.
        platform_.SetLastError(static_cast<std::uint32_t>(created));
        return false;
    }
    registry_.SetValue(key.get(), "EventMessageFile", kRegExpandSz,
                       reinterpret_cast<const std::uint8_t*>(path),
                       static_cast<std::uint32_t>(std::strlen(path) + 1));
    const std::uint32_t typesSupported =
        kEventlogErrorType | kEventlogWarningType | kEventlogInformationType;
    registry_.SetValue(key.get(), "TypesSupported", kRegDword,
                       reinterpret_cast<const std::uint8_t*>(&typesSupported),
                       sizeof typesSupported);
    key.Close();

    ReportServiceEvent(kEventlogInformationType, kMsgServiceInstalled, serviceName);
    return true;
}

bool CNTService::RemoveService() {
    const ServiceHandle manager(CloseServiceHandleCloser{&platform_},
                                platform_.OpenSCManagerA(kScManagerAllAccess));
    if (!manager) return false;
    const ServiceHandle service(
        CloseServiceHandleCloser{&platform_},
        platform_.OpenServiceA(manager.get(), serviceName, kServiceAllAccess));
    if (!service) return false;

    ServiceStatus state;
    if (platform_.ControlService(service.get(), kControlStop, &state)) {
        // A service that never reports stopped is given up on after kStopPollLimit polls; the
        // deletion below then only marks it, and Windows drops it once it has ended.
        for (int poll = 0; poll < kStopPollLimit; ++poll) {
            platform_.SleepEx(kStopPollInterval, false);
            if (!platform_.QueryServiceStatus(service.get(), &state) ||
                state.dwCurrentState == kServiceStopped) {
                break;
            }
        }
    }

    if (platform_.DeleteService(service.get())) {
        ReportServiceEvent(kEventlogInformationType, kMsgServiceRemoved, serviceName);
        return true;
    }
    // Logging the event must not cover up why the deletion failed.
    const std::uint32_t error = platform_.GetLastError();
    ReportServiceEvent(kEventlogErrorType, kMsgServiceNotRemoved, serviceName);
    platform_.SetLastError(error);
    return false;
}

}  // namespace kqm
