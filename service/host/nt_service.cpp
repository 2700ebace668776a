// The service life: dispatcher, ServiceMain, Handler, status reports, events and the trace.
#include "host/nt_service.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kqm {

CNTService* g_serviceInstance = nullptr;

void Trace(const CNTService* service, const char* format, ...) {
    ServicePlatform& platform = service->Platform();
    char line[kTraceLineSize];
    const int prefix = std::snprintf(line, sizeof line, "[%s](%lu): ", service->serviceName,
                                     static_cast<unsigned long>(platform.GetCurrentThreadId()));
    // The name has at most 63 characters, so the prefix always fits; the message gets what is
    // left but one byte, which keeps room for the line feed.
    std::size_t used = prefix > 0 ? std::min(static_cast<std::size_t>(prefix), sizeof line - 2) : 0;
    const std::size_t room = sizeof line - used - 1;
    std::va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(line + used, room, format, args);
    va_end(args);
    if (written > 0) used += std::min(static_cast<std::size_t>(written), room - 1);
    line[used] = '\n';
    line[used + 1] = '\0';
    platform.OutputDebugStringA(line);
}

CNTService::CNTService(const char* name, ServicePlatform& platform, Registry& registry)
    : eventSource(DeregisterEventSourceCloser{&platform}),
      platform_(platform),
      registry_(registry) {
    std::snprintf(serviceName, sizeof serviceName, "%s", name);
    status.dwServiceType = kServiceWin32OwnProcess;
    status.dwCurrentState = kServiceStopped;
    status.dwControlsAccepted = kServiceAcceptStop;
    g_serviceInstance = this;
}

// eventSource deregisters itself after the trace.
CNTService::~CNTService() {
    Trace(this, "CNTService::~CNTService()");
}

void CNTService::Run() {
    Trace(this, "Entering CNTService::Run()");
    while (running) {
        Trace(this, "Sleeping...");
        platform_.Sleep(5000);
    }
    Trace(this, "Leaving CNTService::Run()");
}

bool CNTService::OnInit() {
    Trace(this, "CNTService::OnInit()");
    return true;
}

void CNTService::OnStop() {
    Trace(this, "CNTService::OnStop()");
}
void CNTService::OnInterrogate() {
    Trace(this, "CNTService::OnInterrogate()");
}
void CNTService::OnPause() {
    Trace(this, "CNTService::OnPause()");
}
void CNTService::OnContinue() {
    Trace(this, "CNTService::OnContinue()");
}
void CNTService::OnShutdown() {
    Trace(this, "CNTService::OnShutdown()");
}

bool CNTService::OnUserControl(std::uint32_t control) {
    Trace(this, "CNTService::OnUserControl(%8.8lXH)", static_cast<unsigned long>(control));
    return false;
}

bool CNTService::OnDeviceChange(std::uint32_t eventType, void* /*eventData*/) {
    Trace(this, "CNTService::OnDeviceChange(%8.8lXH)", static_cast<unsigned long>(eventType));
    return true;
}

bool CNTService::StartDispatcher() {
    Trace(this, "Calling StartServiceCtrlDispatcher()");
    const bool started = platform_.StartServiceCtrlDispatcherA(serviceName, &ServiceMain);
    Trace(this, "Returned from StartServiceCtrlDispatcher()");
    return started;
}

void CNTService::ServiceMain(std::uint32_t /*argc*/, char** /*argv*/) {
    CNTService* service = g_serviceInstance;
    ServicePlatform& platform = service->platform_;
    Trace(service, "Entering CNTService::ServiceMain()");
    {
        LockGuard guard(service->statusLock_);
        service->status.dwCurrentState = kServiceStartPending;
    }
    void* const context = reinterpret_cast<void*>(std::uintptr_t{1});
    const StatusHandle handle =
        platform.RegisterServiceCtrlHandlerExA(service->serviceName, &Handler, context);
    {
        LockGuard guard(service->statusLock_);
        service->statusHandle = handle;
    }
    if (handle == 0) {
        service->ReportServiceEvent(kEventlogErrorType, kMsgHandlerNotInstalled);
        return;
    }

    DeviceInterfaceFilter filter;
    filter.size = 32;  // sizeof (DEV_BROADCAST_DEVICEINTERFACE_A) with its empty name
    filter.deviceType = kDbtDevtypDeviceInterface;
    filter.classGuid = kGuidDevinterfaceVolume;
    service->deviceNotification =
        platform.RegisterDeviceNotificationA(handle, filter, kDeviceNotifyServiceHandle);

    if (service->Initialize()) {
        service->running = true;
        if (service->stopRequested_) service->running = false;
        {
            LockGuard guard(service->statusLock_);
            service->status.dwWin32ExitCode = 0;
            service->status.dwCheckPoint = 0;
            service->status.dwWaitHint = 0;
        }
        service->Run();
    }
    service->SetStatus(kServiceStopped);
    Trace(service, "Leaving CNTService::ServiceMain()");
}

bool CNTService::Initialize() {
    Trace(this, "Entering CNTService::Initialize()");
    SetStatus(kServiceStartPending);
    const bool initialised = OnInit();
    const std::uint32_t lastError = platform_.GetLastError();
    {
        LockGuard guard(statusLock_);
        status.dwWin32ExitCode = lastError;
        status.dwCheckPoint = 0;
        status.dwWaitHint = 0;
    }
    if (!initialised) {
        ReportServiceEvent(kEventlogErrorType, kMsgInitFailed);
        SetStatus(kServiceStopped);
        return false;
    }
    ReportServiceEvent(kEventlogInformationType, kMsgServiceStarted);
    SetStatus(kServiceRunning);
    Trace(this, "Leaving CNTService::Initialize()");
    return true;
}

std::uint32_t CNTService::Handler(std::uint32_t control, std::uint32_t eventType, void* eventData,
                                  void* /*context*/) {
    CNTService* service = g_serviceInstance;
    Trace(service, "CNTService::Handler(%lu)", static_cast<unsigned long>(control));
    switch (control) {
        case kControlStop:
            service->SetStatus(kServiceStopPending);
            service->OnStop();
            service->stopRequested_ = true;
            service->running = false;
            service->ReportServiceEvent(kEventlogInformationType, kMsgServiceStopped);
            break;
        case kControlPause:
            service->OnPause();
            break;
        case kControlContinue:
            service->OnContinue();
            break;
        case kControlInterrogate:
            service->OnInterrogate();
            break;
        case kControlShutdown:
            service->OnShutdown();
            break;
        case kControlDeviceEvent:
            service->OnDeviceChange(eventType, eventData);
            break;
        default:
            if (control < kFirstUserControl || !service->OnUserControl(control)) {
                service->ReportServiceEvent(kEventlogErrorType, kMsgBadRequest);
            }
            break;
    }
    {
        // Held across the report, so a start-up report of the service thread can't be
        // overtaken by this older copy.
        LockGuard guard(service->statusLock_);
        Trace(service, "Updating status (%lu, %lu)",
              static_cast<unsigned long>(service->statusHandle),
              static_cast<unsigned long>(service->status.dwCurrentState));
        service->platform_.SetServiceStatus(service->statusHandle, service->status);
    }
    return 0;
}

void CNTService::SetStatus(std::uint32_t state) {
    LockGuard guard(statusLock_);
    Trace(this, "CNTService::SetStatus(%lu, %lu)", static_cast<unsigned long>(statusHandle),
          static_cast<unsigned long>(state));
    status.dwCurrentState = state;
    platform_.SetServiceStatus(statusHandle, status);
}

ServiceStatus CNTService::CurrentStatus() const {
    LockGuard guard(statusLock_);
    return status;
}

void CNTService::ReportServiceEvent(std::uint16_t type, std::uint32_t messageId,
                                    const char* string1, const char* string2, const char* string3) {
    // Both threads report events; the source is opened once, by whichever comes first.
    LockGuard guard(eventSourceLock_);
    if (!eventSource) eventSource.reset(platform_.RegisterEventSourceA(serviceName));
    if (!eventSource) return;
    const char* strings[3] = {};
    std::uint16_t count = 0;
    for (const char* s : {string1, string2, string3}) {
        if (s != nullptr) strings[count++] = s;
    }
    platform_.ReportEventA(eventSource.get(), type, 0, messageId, count, strings);
}

}  // namespace kqm
