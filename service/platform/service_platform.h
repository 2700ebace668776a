// What the service host asks of Windows: the service control manager, device notification,
// the event log, debug output and the console. Win32 and an in-memory substitute implement it.
#pragma once

#include <cstdint>

namespace kqm {

// Opaque handles; 0 means none.
using StatusHandle = std::uintptr_t;
using DeviceNotifyHandle = std::uintptr_t;
using EventSourceHandle = std::uintptr_t;
using ScHandle = std::uintptr_t;

// SERVICE_STATUS: seven 32-bit fields.
struct ServiceStatus {
    std::uint32_t dwServiceType = 0;
    std::uint32_t dwCurrentState = 0;
    std::uint32_t dwControlsAccepted = 0;
    std::uint32_t dwWin32ExitCode = 0;
    std::uint32_t dwServiceSpecificExitCode = 0;
    std::uint32_t dwCheckPoint = 0;
    std::uint32_t dwWaitHint = 0;
};

// Service types, start types, states, accepted controls and control codes.
constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
constexpr std::uint32_t kServiceAutoStart = 2;
constexpr std::uint32_t kServiceErrorNormal = 1;
constexpr std::uint32_t kServiceStopped = 1;
constexpr std::uint32_t kServiceStartPending = 2;
constexpr std::uint32_t kServiceStopPending = 3;
constexpr std::uint32_t kServiceRunning = 4;
constexpr std::uint32_t kServiceAcceptStop = 1;
constexpr std::uint32_t kControlStop = 1;
constexpr std::uint32_t kControlPause = 2;
constexpr std::uint32_t kControlContinue = 3;
constexpr std::uint32_t kControlInterrogate = 4;
constexpr std::uint32_t kControlShutdown = 5;
constexpr std::uint32_t kControlParamChange = 6;
constexpr std::uint32_t kControlDeviceEvent = 11;
constexpr std::uint32_t kFirstUserControl = 128;

// Access rights.
constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
constexpr std::uint32_t kServiceQueryConfig = 0x0001;
constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

// Event log entry types.
constexpr std::uint16_t kEventlogErrorType = 0x0001;
constexpr std::uint16_t kEventlogWarningType = 0x0002;
constexpr std::uint16_t kEventlogInformationType = 0x0004;

// Device event types (DBT_) and the volume device-interface notification filter.
constexpr std::uint32_t kDbtDeviceArrival = 0x8000;
constexpr std::uint32_t kDbtDeviceQueryRemove = 0x8001;
constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;
constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;
constexpr std::uint32_t kDeviceNotifyServiceHandle = 1;

// Error codes the host produces or compares against.
constexpr std::uint32_t kErrorServiceRequestTimeout = 1053;
constexpr std::uint32_t kErrorServiceNotActive = 1062;
constexpr std::uint32_t kErrorFailedServiceControllerConnect = 1063;
constexpr std::uint32_t kErrorServiceCannotAcceptCtrl = 1061;
constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
constexpr std::uint32_t kErrorServiceExists = 1073;
constexpr std::uint32_t kErrorServiceMarkedForDelete = 1072;

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
};

// GUID_DEVINTERFACE_VOLUME {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}.
constexpr Guid kGuidDevinterfaceVolume = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The fields of DEV_BROADCAST_DEVICEINTERFACE_A that a registration fills in; the name is empty.
struct DeviceInterfaceFilter {
    std::uint32_t size = 0;
    std::uint32_t deviceType = 0;
    Guid classGuid;
};

// The arguments of CreateServiceA that vary; the rest are none (group, tag, dependencies,
// account, password).
struct ServiceEntry {
    const char* serviceName = nullptr;
    const char* displayName = nullptr;
    std::uint32_t desiredAccess = 0;
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    const char* binaryPathName = nullptr;
};

// The service entry point and the control handler, as the framework writes them; the Win32
// layer calls them from functions with the system's calling convention.
using ServiceMainFunction = void (*)(std::uint32_t argc, char** argv);
using HandlerFunction = std::uint32_t (*)(std::uint32_t control, std::uint32_t eventType,
                                          void* eventData, void* context);

class ServicePlatform {
  public:
    virtual ~ServicePlatform() = default;

    // StartServiceCtrlDispatcherA with the table {serviceName, serviceMain}, {null, null}.
    virtual bool StartServiceCtrlDispatcherA(const char* serviceName,
                                             ServiceMainFunction serviceMain) = 0;
    // RegisterServiceCtrlHandlerExA; 0 on failure.
    virtual StatusHandle RegisterServiceCtrlHandlerExA(const char* serviceName,
                                                       HandlerFunction handler, void* context) = 0;
    // RegisterDeviceNotificationA(recipient, filter, flags); 0 on failure.
    virtual DeviceNotifyHandle RegisterDeviceNotificationA(StatusHandle recipient,
                                                           const DeviceInterfaceFilter& filter,
                                                           std::uint32_t flags) = 0;
    virtual bool SetServiceStatus(StatusHandle handle, const ServiceStatus& status) = 0;

    // RegisterEventSourceA(null server, sourceName); 0 on failure.
    virtual EventSourceHandle RegisterEventSourceA(const char* sourceName) = 0;
    // ReportEventA(source, type, category, eventId, no SID, stringCount, 0, strings, no data).
    virtual bool ReportEventA(EventSourceHandle source, std::uint16_t type, std::uint16_t category,
                              std::uint32_t eventId, std::uint16_t stringCount,
                              const char* const* strings) = 0;
    virtual void DeregisterEventSource(EventSourceHandle source) = 0;

    virtual void OutputDebugStringA(const char* text) = 0;
    virtual std::uint32_t GetCurrentThreadId() = 0;
    virtual std::uint32_t GetLastError() = 0;
    virtual void SetLastError(std::uint32_t error) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    virtual void SleepEx(std::uint32_t milliseconds, bool alertable) = 0;

    // OpenSCManagerA(null machine, null database, access); 0 on failure.
    virtual ScHandle OpenSCManagerA(std::uint32_t access) = 0;
    virtual ScHandle OpenServiceA(ScHandle manager, const char* serviceName,
                                  std::uint32_t access) = 0;
    virtual ScHandle CreateServiceA(ScHandle manager, const ServiceEntry& entry) = 0;
    virtual bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus* status) = 0;
    virtual bool QueryServiceStatus(ScHandle service, ServiceStatus* status) = 0;
    virtual bool DeleteService(ScHandle service) = 0;
    // Leaves the thread's last error as it was, so a caller can still report a failure's code.
    virtual void CloseServiceHandle(ScHandle handle) = 0;

    // GetModuleFileNameA(no module, buffer, size): the length copied, 0 on failure.
    virtual std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) = 0;
    // Writes finished text to standard output.
    virtual void PrintToConsole(const char* text) = 0;
};

}  // namespace kqm
