// The in-memory service platform: dispatcher thread, SCM model and the ordered record.
#include "testing/substitute_service_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kqm {
namespace {

constexpr auto kWaitLimit = std::chrono::seconds(5);
constexpr auto kServiceEndLimit = std::chrono::seconds(20);

thread_local std::uint32_t t_threadId = 0;
thread_local std::uint32_t t_lastError = 0;
std::atomic<std::uint32_t> g_nextThreadId{3000};

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

const char* EventTypeName(std::uint16_t type) {
    switch (type) {
        case kEventlogErrorType:
            return "error";
        case kEventlogWarningType:
            return "warning";
        case kEventlogInformationType:
            return "info";
        default:
            return "type?";
    }
}

std::string GuidText(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                  static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

}  // namespace

// ---- the dispatcher's controls ----

std::uint32_t SubstituteServicePlatform::Controls::Control(std::uint32_t code) {
    return platform_.Deliver(code, 0, nullptr);
}

std::uint32_t SubstituteServicePlatform::Controls::DeviceEvent(std::uint32_t eventType,
                                                               void* eventData) {
    return platform_.Deliver(kControlDeviceEvent, eventType, eventData);
}

bool SubstituteServicePlatform::Controls::WaitForState(std::uint32_t state) {
    return platform_.WaitFor([this, state] {
        return std::any_of(
            platform_.reports_.begin(), platform_.reports_.end(),
            [state](const StatusReport& r) { return r.status.dwCurrentState == state; });
    });
}

bool SubstituteServicePlatform::Controls::WaitForNotification() {
    return platform_.WaitFor([this] { return platform_.notificationRegistered_; });
}

bool SubstituteServicePlatform::Controls::WaitForEntry(const std::string& text) {
    return platform_.WaitFor([this, &text] {
        return std::any_of(platform_.log_.begin(), platform_.log_.end(),
                           [&text](const LogEntry& entry) { return entry.text == text; });
    });
}

void SubstituteServicePlatform::Controls::ReleaseHold() {
    std::lock_guard<std::mutex> lock(platform_.mutex_);
    platform_.holdReleased_ = true;
    platform_.changed_.notify_all();
}

bool SubstituteServicePlatform::WaitFor(const std::function<bool()>& condition) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kWaitLimit, condition);
}

std::uint32_t SubstituteServicePlatform::Deliver(std::uint32_t control, std::uint32_t eventType,
                                                 void* eventData) {
    HandlerFunction handler = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler = handler_;
        context = handlerContext_;
        // The SCM only passes a stop to a service that reported running.
        const bool running =
            !reports_.empty() && reports_.back().status.dwCurrentState == kServiceRunning;
        if (handler == nullptr || (control == kControlStop && !running)) {
            Record("control " + std::to_string(control) + " refused");
            return kErrorServiceCannotAcceptCtrl;
        }
    }
    return handler(control, eventType, eventData, context);
}

// ---- set-up and record ----

SubstituteServicePlatform::SubstituteServicePlatform() {
    t_threadId = kMainThreadId;
}

SubstituteServicePlatform::~SubstituteServicePlatform() = default;

void SubstituteServicePlatform::SetDispatchScript(DispatchScript script) {
    script_ = std::move(script);
}
void SubstituteServicePlatform::SetStartedByScm(bool started) {
    startedByScm_ = started;
}
void SubstituteServicePlatform::SetHandlerRegistrationError(std::uint32_t error) {
    handlerError_ = error;
}
void SubstituteServicePlatform::SetEventLogAvailable(bool available) {
    std::lock_guard<std::mutex> lock(mutex_);
    eventLogAvailable_ = available;
}
void SubstituteServicePlatform::SetHoldAtTrace(std::string message) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdMessage_ = std::move(message);
    holdReleased_ = false;
}
void SubstituteServicePlatform::SetSleepDivisor(std::uint32_t divisor) {
    sleepDivisor_ = std::max<std::uint32_t>(divisor, 1);
}
void SubstituteServicePlatform::SetModulePath(std::string path) {
    modulePath_ = std::move(path);
}
void SubstituteServicePlatform::SetScManagerError(std::uint32_t error) {
    scManagerError_ = error;
}
void SubstituteServicePlatform::SetCreateServiceError(std::uint32_t error) {
    createServiceError_ = error;
}
void SubstituteServicePlatform::SetDeleteServiceError(std::uint32_t error) {
    deleteServiceError_ = error;
}
void SubstituteServicePlatform::SetQueryServiceStatusFails(bool fails) {
    queryFails_ = fails;
}
void SubstituteServicePlatform::AddService(Service service) {
    std::lock_guard<std::mutex> lock(mutex_);
    services_[Upper(service.name)] = std::move(service);
}

void SubstituteServicePlatform::Record(std::string entry) {
    log_.push_back({GetCurrentThreadId(), std::move(entry)});
    changed_.notify_all();
}

std::vector<std::string> SubstituteServicePlatform::Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const LogEntry& entry : log_) texts.push_back(entry.text);
    return texts;
}
std::vector<std::string> SubstituteServicePlatform::Log(std::uint32_t thread) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const LogEntry& entry : log_) {
        if (entry.thread == thread) texts.push_back(entry.text);
    }
    return texts;
}
std::vector<std::string> SubstituteServicePlatform::Traces() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return traces_;
}
std::vector<SubstituteServicePlatform::StatusReport> SubstituteServicePlatform::StatusReports()
    const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}
std::vector<SubstituteServicePlatform::EventRecord> SubstituteServicePlatform::Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}
std::string SubstituteServicePlatform::Console() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return console_;
}
std::optional<SubstituteServicePlatform::Service> SubstituteServicePlatform::FindService(
    const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = services_.find(Upper(name));
    if (found == services_.end()) return std::nullopt;
    return found->second;
}
DeviceInterfaceFilter SubstituteServicePlatform::NotificationFilter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return filter_;
}
std::vector<std::string> SubstituteServicePlatform::EventSourceOpens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return eventSourceOpens_;
}
int SubstituteServicePlatform::eventSourceCloses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return eventSourceCloses_;
}
int SubstituteServicePlatform::openScHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(scHandles_.size());
}
void SubstituteServicePlatform::ClearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    traces_.clear();
    reports_.clear();
    events_.clear();
    console_.clear();
}

// ---- dispatcher, handler, status ----

bool SubstituteServicePlatform::StartServiceCtrlDispatcherA(const char* serviceName,
                                                            ServiceMainFunction serviceMain) {
    std::string name = serviceName;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Record("dispatcher " + name);
        serviceMainReturned_ = false;
    }
    if (!startedByScm_) {
        SetLastError(kErrorFailedServiceControllerConnect);
        return false;
    }
    std::thread serviceThread([this, serviceMain, name]() mutable {
        t_threadId = kServiceThreadId;
        char* argv[] = {name.data(), nullptr};
        serviceMain(1, argv);
        std::lock_guard<std::mutex> lock(mutex_);
        serviceMainReturned_ = true;
        changed_.notify_all();
    });
    if (script_) {
        Controls controls(*this);
        script_(controls);
    }
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ended = changed_.wait_for(lock, kServiceEndLimit, [this] { return serviceMainReturned_; });
    }
    if (!ended) {
        // A service that never ends would hang the test run; fail loudly instead.
        std::fputs("substitute dispatcher: ServiceMain did not return; the log:\n", stderr);
        for (const auto& line : Log()) std::fprintf(stderr, "  %s\n", line.c_str());
        std::abort();
    }
    serviceThread.join();
    return true;
}

StatusHandle SubstituteServicePlatform::RegisterServiceCtrlHandlerExA(const char* serviceName,
                                                                      HandlerFunction handler,
                                                                      void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(std::string("handler ") + serviceName +
           " context=" + std::to_string(reinterpret_cast<std::uintptr_t>(context)));
    if (handlerError_ != 0) {
        t_lastError = handlerError_;
        return 0;
    }
    handler_ = handler;
    handlerContext_ = context;
    return kStatusHandle;
}

DeviceNotifyHandle SubstituteServicePlatform::RegisterDeviceNotificationA(
    StatusHandle recipient, const DeviceInterfaceFilter& filter, std::uint32_t flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    filter_ = filter;
    notificationRegistered_ = true;
    Record("notification recipient=" + std::to_string(recipient) +
           " size=" + std::to_string(filter.size) + " type=" + std::to_string(filter.deviceType) +
           " class=" + GuidText(filter.classGuid) + " flags=" + std::to_string(flags));
    return kNotificationHandle;
}

bool SubstituteServicePlatform::SetServiceStatus(StatusHandle handle, const ServiceStatus& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back({handle, status});
    Record("status " + std::to_string(status.dwCurrentState) +
           " exit=" + std::to_string(status.dwWin32ExitCode));
    return handle == kStatusHandle;
}

// ---- event log and debug output ----

EventSourceHandle SubstituteServicePlatform::RegisterEventSourceA(const char* sourceName) {
    std::lock_guard<std::mutex> lock(mutex_);
    eventSourceOpens_.emplace_back(sourceName != nullptr ? sourceName : "(null)");
    if (!eventLogAvailable_ || sourceName == nullptr) {
        t_lastError = kErrorFileNotFound;
        return 0;
    }
    return kEventSourceHandle;
}

bool SubstituteServicePlatform::ReportEventA(EventSourceHandle source, std::uint16_t type,
                                             std::uint16_t category, std::uint32_t eventId,
                                             std::uint16_t stringCount,
                                             const char* const* strings) {
    std::lock_guard<std::mutex> lock(mutex_);
    EventRecord record{source, type, category, eventId, {}};
    std::string entry = std::string("event ") + EventTypeName(type) + " " + std::to_string(eventId);
    for (std::uint16_t i = 0; i < stringCount; ++i) {
        record.strings.emplace_back(strings[i]);
        entry += " ";
        entry += strings[i];
    }
    events_.push_back(std::move(record));
    Record(std::move(entry));
    return source == kEventSourceHandle;
}

void SubstituteServicePlatform::DeregisterEventSource(EventSourceHandle source) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (source == kEventSourceHandle) ++eventSourceCloses_;
}

void SubstituteServicePlatform::OutputDebugStringA(const char* text) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::string line = text;
    traces_.push_back(line);
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    } else {
        line += " <no line feed>";
    }
    const bool hold =
        !holdMessage_.empty() && GetCurrentThreadId() == kServiceThreadId &&
        line.size() >= holdMessage_.size() &&
        line.compare(line.size() - holdMessage_.size(), std::string::npos, holdMessage_) == 0;
    Record("trace " + line);
    if (hold) {
        changed_.wait_for(lock, kWaitLimit, [this] { return holdReleased_; });
        holdMessage_.clear();
    }
}

std::uint32_t SubstituteServicePlatform::GetCurrentThreadId() {
    if (t_threadId == 0) t_threadId = g_nextThreadId++;
    return t_threadId;
}

std::uint32_t SubstituteServicePlatform::GetLastError() {
    return t_lastError;
}
void SubstituteServicePlatform::SetLastError(std::uint32_t error) {
    t_lastError = error;
}

void SubstituteServicePlatform::Sleep(std::uint32_t milliseconds) {
    ++sleeps_;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / sleepDivisor_));
}

void SubstituteServicePlatform::SleepEx(std::uint32_t milliseconds, bool alertable) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record("SleepEx " + std::to_string(milliseconds) + (alertable ? " alertable" : ""));
}

// ---- service control manager ----

ScHandle SubstituteServicePlatform::NewScHandle(std::string what) {
    const ScHandle handle = nextScHandle_++;
    scHandles_[handle] = std::move(what);
    return handle;
}

ScHandle SubstituteServicePlatform::OpenSCManagerA(std::uint32_t access) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record("OpenSCManagerA " + Hex(access));
    if (scManagerError_ != 0) {
        t_lastError = scManagerError_;
        return 0;
    }
    return NewScHandle("manager");
}

ScHandle SubstituteServicePlatform::OpenServiceA(ScHandle manager, const char* serviceName,
                                                 std::uint32_t access) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(std::string("OpenServiceA ") + serviceName + " " + Hex(access));
    const auto owner = scHandles_.find(manager);
    if (owner == scHandles_.end() || owner->second != "manager") {
        t_lastError = static_cast<std::uint32_t>(kErrorInvalidParameter);
        return 0;
    }
    if (services_.count(Upper(serviceName)) == 0) {
        t_lastError = kErrorServiceDoesNotExist;
        return 0;
    }
    return NewScHandle(Upper(serviceName));
}

ScHandle SubstituteServicePlatform::CreateServiceA(ScHandle manager, const ServiceEntry& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record(std::string("CreateServiceA ") + entry.serviceName + " display=" + entry.displayName +
           " access=" + Hex(entry.desiredAccess) + " type=" + Hex(entry.serviceType) +
           " start=" + std::to_string(entry.startType) +
           " error=" + std::to_string(entry.errorControl) + " path=" + entry.binaryPathName);
    if (scHandles_.count(manager) == 0) {
        t_lastError = static_cast<std::uint32_t>(kErrorInvalidParameter);
        return 0;
    }
    if (createServiceError_ != 0) {
        t_lastError = createServiceError_;
        return 0;
    }
    const std::string key = Upper(entry.serviceName);
    if (services_.count(key) != 0) {
        t_lastError = kErrorServiceExists;
        return 0;
    }
    Service service;
    service.name = entry.serviceName;
    service.displayName = entry.displayName;
    service.binaryPath = entry.binaryPathName;
    service.desiredAccess = entry.desiredAccess;
    service.serviceType = entry.serviceType;
    service.startType = entry.startType;
    service.errorControl = entry.errorControl;
    services_[key] = service;
    return NewScHandle(key);
}

bool SubstituteServicePlatform::ControlService(ScHandle service, std::uint32_t control,
                                               ServiceStatus* status) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record("ControlService " + std::to_string(control));
    const auto handle = scHandles_.find(service);
    const auto entry =
        handle == scHandles_.end() ? services_.end() : services_.find(handle->second);
    if (entry == services_.end()) {
        t_lastError = static_cast<std::uint32_t>(kErrorInvalidParameter);
        return false;
    }
    Service& s = entry->second;
    if (control != kControlStop || s.currentState != kServiceRunning) {
        t_lastError = kErrorServiceNotActive;
        return false;
    }
    s.currentState = kServiceStopPending;
    status->dwServiceType = s.serviceType;
    status->dwCurrentState = s.currentState;
    return true;
}

bool SubstituteServicePlatform::QueryServiceStatus(ScHandle service, ServiceStatus* status) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record("QueryServiceStatus");
    const auto handle = scHandles_.find(service);
    const auto entry =
        handle == scHandles_.end() ? services_.end() : services_.find(handle->second);
    if (queryFails_ || entry == services_.end()) {
        t_lastError = static_cast<std::uint32_t>(kErrorInvalidParameter);
        return false;
    }
    Service& s = entry->second;
    if (s.currentState == kServiceStopPending && s.queriesUntilStopped >= 0) {
        if (s.queriesUntilStopped > 0) --s.queriesUntilStopped;
        if (s.queriesUntilStopped == 0) s.currentState = kServiceStopped;
    }
    status->dwServiceType = s.serviceType;
    status->dwCurrentState = s.currentState;
    return true;
}

bool SubstituteServicePlatform::DeleteService(ScHandle service) {
    std::lock_guard<std::mutex> lock(mutex_);
    Record("DeleteService");
    const auto handle = scHandles_.find(service);
    const auto entry =
        handle == scHandles_.end() ? services_.end() : services_.find(handle->second);
    if (entry == services_.end()) {
        t_lastError = static_cast<std::uint32_t>(kErrorInvalidParameter);
        return false;
    }
    if (deleteServiceError_ != 0) {
        t_lastError = deleteServiceError_;
        return false;
    }
    services_.erase(entry);
    return true;
}

void SubstituteServicePlatform::CloseServiceHandle(ScHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = scHandles_.find(handle);
    if (found == scHandles_.end()) {
        Record("CloseServiceHandle unknown");
        return;
    }
    Record("CloseServiceHandle " + std::string(found->second == "manager" ? "manager" : "service"));
    scHandles_.erase(found);
}

std::uint32_t SubstituteServicePlatform::GetModuleFileNameA(char* buffer, std::uint32_t size) {
    if (size == 0) return 0;
    const std::size_t length = std::min<std::size_t>(modulePath_.size(), size - 1);
    std::memcpy(buffer, modulePath_.data(), length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

void SubstituteServicePlatform::PrintToConsole(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    console_ += text;
    Record(std::string("print ") + text);
}

}  // namespace kqm
