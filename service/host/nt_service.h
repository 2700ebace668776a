// CNTService: makes the program a Windows service of its own process, passes control requests
// and device events to its virtual operations, reports events and writes the debug trace.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "host/lock.h"
#include "host/unique_handle.h"
#include "platform/registry.h"
#include "platform/service_platform.h"

namespace kqm {

constexpr std::size_t kServiceNameSize = 64;
constexpr std::size_t kTraceLineSize = 1024;
constexpr std::size_t kModulePathSize = 260;
constexpr std::size_t kEventLogKeyPathSize = 256;
constexpr const char* kEventLogApplicationPath =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// Message IDs of the program's message table.
constexpr std::uint32_t kMsgServiceInstalled = 100;
constexpr std::uint32_t kMsgServiceRemoved = 101;
constexpr std::uint32_t kMsgServiceNotRemoved = 102;
constexpr std::uint32_t kMsgHandlerNotInstalled = 103;
constexpr std::uint32_t kMsgInitFailed = 104;
constexpr std::uint32_t kMsgServiceStarted = 105;
constexpr std::uint32_t kMsgBadRequest = 106;
constexpr std::uint32_t kMsgDebug = 107;
constexpr std::uint32_t kMsgServiceStopped = 108;

// RemoveService polls the stopping service every 200 ms, at most this many times (30 s).
constexpr std::uint32_t kStopPollInterval = 200;
constexpr int kStopPollLimit = 150;

struct DeregisterEventSourceCloser {
    ServicePlatform* platform;
    void operator()(EventSourceHandle source) const { platform->DeregisterEventSource(source); }
};
struct CloseServiceHandleCloser {
    ServicePlatform* platform;
    void operator()(ScHandle handle) const { platform->CloseServiceHandle(handle); }
};
using EventSource = UniqueHandle<EventSourceHandle, DeregisterEventSourceCloser>;
using ServiceHandle = UniqueHandle<ScHandle, CloseServiceHandleCloser>;

class CNTService {
  public:
    // The name is cut to 63 characters. registry serves the event log source key.
    CNTService(const char* name, ServicePlatform& platform, Registry& registry);
    virtual ~CNTService();
    CNTService(const CNTService&) = delete;
    CNTService& operator=(const CNTService&) = delete;

    virtual void Run();
    virtual bool OnInit();
    virtual void OnStop();
    virtual void OnInterrogate();
    virtual void OnPause();
    virtual void OnContinue();
    virtual void OnShutdown();
    virtual bool OnUserControl(std::uint32_t control);
    virtual bool OnDeviceChange(std::uint32_t eventType, void* eventData);

    // Hands the main thread to the service control dispatcher until the service has stopped.
    bool StartDispatcher();
    static void ServiceMain(std::uint32_t argc, char** argv);
    static std::uint32_t Handler(std::uint32_t control, std::uint32_t eventType, void* eventData,
                                 void* context);
    bool Initialize();
    void SetStatus(std::uint32_t state);
    // Null insertion strings are left out.
    void ReportServiceEvent(std::uint16_t type, std::uint32_t messageId,
                            const char* string1 = nullptr, const char* string2 = nullptr,
                            const char* string3 = nullptr);

    // -v, -i, -u; false when the command line asks for none of them.
    bool HandleCommandLine(int argc, char** argv);
    bool IsServiceInstalled();
    bool InstallService();
    bool RemoveService();

    ServicePlatform& Platform() const { return platform_; }
    // A consistent copy of status, whichever thread is changing it.
    ServiceStatus CurrentStatus() const;

    char serviceName[kServiceNameSize];
    std::int32_t versionMajor = 1;
    std::int32_t versionMinor = 1;
    std::int32_t versionRevision = 1;
    // statusHandle and status are shared by the service thread and the handler; statusLock_
    // keeps every change and report of them whole.
    StatusHandle statusHandle = 0;
    ServiceStatus status;
    std::atomic<bool> running{false};
    EventSource eventSource;
    DeviceNotifyHandle deviceNotification = 0;

  private:
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    ServicePlatform& platform_;
    Registry& registry_;
    // Set by a stop request. The SCM may send the stop as soon as SERVICE_RUNNING is
    // reported, before ServiceMain has set running; such a stop must still end Run.
    std::atomic<bool> stopRequested_{false};
    mutable Lock statusLock_;
    Lock eventSourceLock_;
};

// The one service object of the process; ServiceMain and Handler find it here.
extern CNTService* g_serviceInstance;

// Writes "[name](thread id): " and the formatted message, cut to fit 1024 bytes with its line
// feed and terminator, to the debugger output.
void Trace(const CNTService* service, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace kqm
