// Each operation is the one Windows call it is named after.
#include "win32/win32_service_platform.h"

// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <atomic>
#include <cstdio>
#include <cstring>

namespace kqm {
namespace {

// The framework's entry point and handler, called from functions with the system's calling
// convention. One service per process, so one of each.
std::atomic<ServiceMainFunction> g_serviceMain{nullptr};
std::atomic<HandlerFunction> g_handler{nullptr};

void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv) {
    g_serviceMain(argc, argv);
}

DWORD WINAPI HandlerEntry(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
    return g_handler.load()(control, eventType, eventData, context);
}

template <typename T>
T* HandleOf(std::uintptr_t handle) {
    return reinterpret_cast<T*>(handle);
}
std::uintptr_t ValueOf(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

SC_HANDLE ScOf(ScHandle handle) {
    return reinterpret_cast<SC_HANDLE>(handle);
}
SERVICE_STATUS_HANDLE StatusOf(StatusHandle handle) {
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(handle);
}
HANDLE EventOf(EventSourceHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

SERVICE_STATUS ToWin32(const ServiceStatus& status) {
    SERVICE_STATUS s;
    s.dwServiceType = status.dwServiceType;
    s.dwCurrentState = status.dwCurrentState;
    s.dwControlsAccepted = status.dwControlsAccepted;
    s.dwWin32ExitCode = status.dwWin32ExitCode;
    s.dwServiceSpecificExitCode = status.dwServiceSpecificExitCode;
    s.dwCheckPoint = status.dwCheckPoint;
    s.dwWaitHint = status.dwWaitHint;
    return s;
}

void FromWin32(const SERVICE_STATUS& s, ServiceStatus* status) {
    status->dwServiceType = s.dwServiceType;
    status->dwCurrentState = s.dwCurrentState;
    status->dwControlsAccepted = s.dwControlsAccepted;
    status->dwWin32ExitCode = s.dwWin32ExitCode;
    status->dwServiceSpecificExitCode = s.dwServiceSpecificExitCode;
    status->dwCheckPoint = s.dwCheckPoint;
    status->dwWaitHint = s.dwWaitHint;
}

}  // namespace

bool Win32ServicePlatform::StartServiceCtrlDispatcherA(const char* serviceName,
                                                       ServiceMainFunction serviceMain) {
    g_serviceMain = serviceMain;
    char name[256];
    std::snprintf(name, sizeof name, "%s", serviceName);
    SERVICE_TABLE_ENTRYA table[2] = {{name, &ServiceMainEntry}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherA(table) != FALSE;
}

StatusHandle Win32ServicePlatform::RegisterServiceCtrlHandlerExA(const char* serviceName,
                                                                 HandlerFunction handler,
                                                                 void* context) {
    g_handler = handler;
    return ValueOf(::RegisterServiceCtrlHandlerExA(serviceName, &HandlerEntry, context));
}

DeviceNotifyHandle Win32ServicePlatform::RegisterDeviceNotificationA(
    StatusHandle recipient, const DeviceInterfaceFilter& filter, std::uint32_t flags) {
    DEV_BROADCAST_DEVICEINTERFACE_A record;
    std::memset(&record, 0, sizeof record);
    record.dbcc_size = filter.size;
    record.dbcc_devicetype = filter.deviceType;
    record.dbcc_classguid.Data1 = filter.classGuid.data1;
    record.dbcc_classguid.Data2 = filter.classGuid.data2;
    record.dbcc_classguid.Data3 = filter.classGuid.data3;
    std::memcpy(record.dbcc_classguid.Data4, filter.classGuid.data4, 8);
    return ValueOf(::RegisterDeviceNotificationA(HandleOf<void>(recipient), &record, flags));
}

bool Win32ServicePlatform::SetServiceStatus(StatusHandle handle, const ServiceStatus& status) {
    SERVICE_STATUS s = ToWin32(status);
    return ::SetServiceStatus(StatusOf(handle), &s) != FALSE;
}

EventSourceHandle Win32ServicePlatform::RegisterEventSourceA(const char* sourceName) {
    return ValueOf(::RegisterEventSourceA(nullptr, sourceName));
}

bool Win32ServicePlatform::ReportEventA(EventSourceHandle source, std::uint16_t type,
                                        std::uint16_t category, std::uint32_t eventId,
                                        std::uint16_t stringCount, const char* const* strings) {
    const char* list[3] = {};
    for (std::uint16_t i = 0; i < stringCount && i < 3; ++i) list[i] = strings[i];
    return ::ReportEventA(EventOf(source), type, category, eventId, nullptr, stringCount, 0,
                          stringCount > 0 ? list : nullptr, nullptr) != FALSE;
}

void Win32ServicePlatform::DeregisterEventSource(EventSourceHandle source) {
    ::DeregisterEventSource(EventOf(source));
}

void Win32ServicePlatform::OutputDebugStringA(const char* text) {
    ::OutputDebugStringA(text);
}
std::uint32_t Win32ServicePlatform::GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}
std::uint32_t Win32ServicePlatform::GetLastError() {
    return ::GetLastError();
}
void Win32ServicePlatform::SetLastError(std::uint32_t error) {
    ::SetLastError(error);
}
void Win32ServicePlatform::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}
void Win32ServicePlatform::SleepEx(std::uint32_t milliseconds, bool alertable) {
    ::SleepEx(milliseconds, alertable ? TRUE : FALSE);
}

ScHandle Win32ServicePlatform::OpenSCManagerA(std::uint32_t access) {
    return ValueOf(::OpenSCManagerA(nullptr, nullptr, access));
}

ScHandle Win32ServicePlatform::OpenServiceA(ScHandle manager, const char* serviceName,
                                            std::uint32_t access) {
    return ValueOf(::OpenServiceA(ScOf(manager), serviceName, access));
}

ScHandle Win32ServicePlatform::CreateServiceA(ScHandle manager, const ServiceEntry& entry) {
    return ValueOf(::CreateServiceA(ScOf(manager), entry.serviceName, entry.displayName,
                                    entry.desiredAccess, entry.serviceType, entry.startType,
                                    entry.errorControl, entry.binaryPathName, nullptr, nullptr,
                                    nullptr, nullptr, nullptr));
}

bool Win32ServicePlatform::ControlService(ScHandle service, std::uint32_t control,
                                          ServiceStatus* status) {
    SERVICE_STATUS s;
    std::memset(&s, 0, sizeof s);
    const BOOL done = ::ControlService(ScOf(service), control, &s);
    FromWin32(s, status);
    return done != FALSE;
}

bool Win32ServicePlatform::QueryServiceStatus(ScHandle service, ServiceStatus* status) {
    SERVICE_STATUS s;
    std::memset(&s, 0, sizeof s);
    const BOOL done = ::QueryServiceStatus(ScOf(service), &s);
    FromWin32(s, status);
    return done != FALSE;
}

bool Win32ServicePlatform::DeleteService(ScHandle service) {
    return ::DeleteService(ScOf(service)) != FALSE;
}

void Win32ServicePlatform::CloseServiceHandle(ScHandle handle) {
    const DWORD error = ::GetLastError();
    ::CloseServiceHandle(ScOf(handle));
    ::SetLastError(error);
}

std::uint32_t Win32ServicePlatform::GetModuleFileNameA(char* buffer, std::uint32_t size) {
    return ::GetModuleFileNameA(nullptr, buffer, size);
}

void Win32ServicePlatform::PrintToConsole(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

}  // namespace kqm
