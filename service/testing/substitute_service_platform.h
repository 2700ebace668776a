// The service host's platform in memory, for tests: a dispatcher that runs ServiceMain on a
// thread of its own while the test delivers controls and device events to Handler on the
// dispatcher's thread, a small service control manager, and a record of every status report,
// event, trace line, console line and SCM call in the order they happened.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/service_platform.h"

namespace kqm {

class SubstituteServicePlatform final : public ServicePlatform {
  public:
    // Thread identifiers as GetCurrentThreadId reports them.
    static constexpr std::uint32_t kMainThreadId = 1000;  // the thread that made the platform
    static constexpr std::uint32_t kServiceThreadId = 2000;
    // The status handle RegisterServiceCtrlHandlerExA gives out; traced as 20816.
    static constexpr StatusHandle kStatusHandle = 0x5150;
    static constexpr DeviceNotifyHandle kNotificationHandle = 0xD0D0;
    static constexpr EventSourceHandle kEventSourceHandle = 0xE5E5;
    static constexpr const char* kDefaultModulePath = "C:\\KQM\\KQMIEx64.exe";

    // The SCM's side of the dispatcher, handed to the dispatch script on the dispatcher thread.
    class Controls {
      public:
        explicit Controls(SubstituteServicePlatform& platform) : platform_(platform) {}
        // Handler's result, or ERROR_SERVICE_CANNOT_ACCEPT_CTRL (no Handler call) for a stop
        // while the service has not reported running, or when no handler is registered.
        std::uint32_t Control(std::uint32_t code);
        // SERVICE_CONTROL_DEVICEEVENT with the event type and data.
        std::uint32_t DeviceEvent(std::uint32_t eventType, void* eventData = nullptr);
        // True once a status report with this state has been made (waits up to 5 s).
        bool WaitForState(std::uint32_t state);
        // True once the device notification is registered (waits up to 5 s).
        bool WaitForNotification();
        // True once the log holds this entry (waits up to 5 s).
        bool WaitForEntry(const std::string& text);
        // Lets the service thread go on from the trace line that SetHoldAtTrace named.
        void ReleaseHold();

      private:
        SubstituteServicePlatform& platform_;
    };
    using DispatchScript = std::function<void(Controls&)>;

    struct StatusReport {
        StatusHandle handle = 0;
        ServiceStatus status;
    };
    struct EventRecord {
        EventSourceHandle source = 0;
        std::uint16_t type = 0;
        std::uint16_t category = 0;
        std::uint32_t id = 0;
        std::vector<std::string> strings;
    };
    struct Service {
        std::string name;
        std::string displayName;
        std::string binaryPath;
        std::uint32_t desiredAccess = 0;
        std::uint32_t serviceType = 0;
        std::uint32_t startType = 0;
        std::uint32_t errorControl = 0;
        std::uint32_t currentState = kServiceStopped;
        // Status queries after a stop request until it reports stopped; -1: never stops.
        int queriesUntilStopped = 1;
    };

    SubstituteServicePlatform();
    ~SubstituteServicePlatform() override;
    SubstituteServicePlatform(const SubstituteServicePlatform&) = delete;
    SubstituteServicePlatform& operator=(const SubstituteServicePlatform&) = delete;

    // Set-up.
    void SetDispatchScript(DispatchScript script);
    void SetStartedByScm(bool started);  // false: the dispatcher fails at once with 1063
    void SetHandlerRegistrationError(std::uint32_t error);  // nonzero: registration fails
    void SetEventLogAvailable(bool available);
    // The service thread waits after writing a trace line with this message until the script
    // calls ReleaseHold (at most 5 s), so a control can come in at just that moment.
    void SetHoldAtTrace(std::string message);
    // Sleep waits milliseconds / divisor of real time (default 100).
    void SetSleepDivisor(std::uint32_t divisor);
    void SetModulePath(std::string path);
    void SetScManagerError(std::uint32_t error);  // nonzero: OpenSCManagerA fails with it
    void SetCreateServiceError(std::uint32_t error);
    void SetDeleteServiceError(std::uint32_t error);
    void SetQueryServiceStatusFails(bool fails);
    void AddService(Service service);

    // What happened. Log() holds, in order: "dispatcher NAME", "handler NAME context=N",
    // "notification ...", "trace LINE" (without its line feed; a line without one is marked),
    // "status STATE exit=CODE", "event info|warning|error ID [STRINGS]", "print TEXT", and the
    // SCM calls by their names. Log(thread) holds the entries made on one thread.
    std::vector<std::string> Log() const;
    std::vector<std::string> Log(std::uint32_t thread) const;
    std::vector<std::string> Traces() const;  // the lines exactly as written
    std::vector<StatusReport> StatusReports() const;
    std::vector<EventRecord> Events() const;
    std::string Console() const;
    std::optional<Service> FindService(const std::string& name) const;
    DeviceInterfaceFilter NotificationFilter() const;
    std::vector<std::string> EventSourceOpens() const;  // the source names asked for
    int eventSourceCloses() const;
    int openScHandles() const;
    int sleeps() const { return sleeps_; }
    void ClearLog();

    // ServicePlatform.
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
    std::uint32_t GetLastError() override;  // per thread
    void SetLastError(std::uint32_t error) override;
    void Sleep(std::uint32_t milliseconds) override;
    void SleepEx(std::uint32_t milliseconds, bool alertable) override;  // logged, no wait
    ScHandle OpenSCManagerA(std::uint32_t access) override;
    ScHandle OpenServiceA(ScHandle manager, const char* serviceName, std::uint32_t access) override;
    ScHandle CreateServiceA(ScHandle manager, const ServiceEntry& entry) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus* status) override;
    bool QueryServiceStatus(ScHandle service, ServiceStatus* status) override;
    bool DeleteService(ScHandle service) override;
    void CloseServiceHandle(ScHandle handle) override;
    std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) override;
    void PrintToConsole(const char* text) override;

  private:
    friend class Controls;
    void Record(std::string entry);  // with mutex_ held
    ScHandle NewScHandle(std::string what);
    std::uint32_t Deliver(std::uint32_t control, std::uint32_t eventType, void* eventData);
    bool WaitFor(const std::function<bool()>& condition);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    struct LogEntry {
        std::uint32_t thread;
        std::string text;
    };
    std::vector<LogEntry> log_;
    std::vector<std::string> traces_;
    std::vector<StatusReport> reports_;
    std::vector<EventRecord> events_;
    std::string console_;

    DispatchScript script_;
    bool startedByScm_ = true;
    std::uint32_t handlerError_ = 0;
    bool eventLogAvailable_ = true;
    std::atomic<std::uint32_t> sleepDivisor_{100};
    std::atomic<int> sleeps_{0};
    std::string modulePath_ = kDefaultModulePath;

    HandlerFunction handler_ = nullptr;
    void* handlerContext_ = nullptr;
    bool notificationRegistered_ = false;
    std::string holdMessage_;
    bool holdReleased_ = false;
    bool serviceMainReturned_ = false;
    DeviceInterfaceFilter filter_;
    std::vector<std::string> eventSourceOpens_;
    int eventSourceCloses_ = 0;

    std::uint32_t scManagerError_ = 0;
    std::uint32_t createServiceError_ = 0;
    std::uint32_t deleteServiceError_ = 0;
    bool queryFails_ = false;
    std::map<std::string, Service> services_;    // by upper-case name
    std::map<ScHandle, std::string> scHandles_;  // "manager" or a service's name
    ScHandle nextScHandle_ = 0x100;
};

}  // namespace kqm
