// The service host's platform over advapi32, user32 and kernel32: one Windows call each.
#pragma once

#include "platform/service_platform.h"

namespace kqm {

class Win32ServicePlatform final : public ServicePlatform {
  public:
    bool StartServiceCtrlDispatcherA(const char* serviceName,
                                     ServiceMainFunction serviceMain) override;
    StatusHandle RegisterServiceCtrlHandlerExA(const char* serviceName, HandlerFunction handler,
                                               void* context) override;
    DeviceNotifyHandle RegisterDeviceNotificationA(StatusHandle recipient,
                                                   const DeviceInterfaceFilter& filter,
                                                   std::uint32_t flags) override;
    bool SetServiceStatus(StatusHandle handle, const ServiceStatus& status) override;

    EventSourceHandle RegisterEventSourceA(const char* sourceName) override;
    bool ReportEventA(EventSourceHandle source, std::uint16_t type, std::uint16_t category,
                      std::uint32_t eventId, std::uint16_t stringCount,
                      const char* const* strings) override;
    void DeregisterEventSource(EventSourceHandle source) override;

    void OutputDebugStringA(const char* text) override;
    std::uint32_t GetCurrentThreadId() override;
    std::uint32_t GetLastError() override;
    void SetLastError(std::uint32_t error) override;
    void Sleep(std::uint32_t milliseconds) override;
    void SleepEx(std::uint32_t milliseconds, bool alertable) override;

    ScHandle OpenSCManagerA(std::uint32_t access) override;
    ScHandle OpenServiceA(ScHandle manager, const char* serviceName, std::uint32_t access) override;
    ScHandle CreateServiceA(ScHandle manager, const ServiceEntry& entry) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus* status) override;
    bool QueryServiceStatus(ScHandle service, ServiceStatus* status) override;
    bool DeleteService(ScHandle service) override;
    void CloseServiceHandle(ScHandle handle) override;

    std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) override;
    void PrintToConsole(const char* text) override;
};

}  // namespace kqm
