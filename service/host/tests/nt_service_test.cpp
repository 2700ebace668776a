// The service host on the substitute platform: the state walk, control dispatch, events and
// the trace, with the default operations of CNTService.
#include "host/nt_service.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/program.h"
#include "service_test_support.h"
#include "testing/memory_registry.h"

namespace kqm {
namespace {

using namespace kqm::testing;

class ServiceHostTest : public ::testing::Test {
  protected:
    Substitute platform;
    MemoryRegistry registry;
};

// A service whose OnInit leaves a last error and answers as told, and that notes Run calls.
class ScriptedService : public CNTService {
  public:
    ScriptedService(Substitute& platform, Registry& registry, bool initResult,
                    std::uint32_t lastError)
        : CNTService("KQMIEx64", platform, registry),
          substitute_(platform),
          initResult_(initResult),
          lastError_(lastError) {}
    bool OnInit() override {
        substitute_.SetLastError(lastError_);
        return initResult_;
    }
    void Run() override {
        ++runCalls;
        Trace(this, "ScriptedService::Run()");
        while (running) substitute_.Sleep(100);
    }
    int runCalls = 0;

  private:
    Substitute& substitute_;
    bool initResult_;
    std::uint32_t lastError_;
};

TEST_F(ServiceHostTest, ConstructionSetsTheFieldsAndTheInstancePointer) {
    CNTService service("KQMIEx64", platform, registry);
    EXPECT_EQ(g_serviceInstance, &service);
    EXPECT_STREQ(service.serviceName, "KQMIEx64");
    EXPECT_EQ(service.versionMajor, 1);
    EXPECT_EQ(service.versionMinor, 1);
    EXPECT_EQ(service.versionRevision, 1);
    EXPECT_EQ(service.statusHandle, 0u);
    EXPECT_FALSE(service.running);
    EXPECT_FALSE(service.eventSource);
    const ServiceStatus s = service.CurrentStatus();
    EXPECT_EQ(s.dwServiceType, 0x10u);
    EXPECT_EQ(s.dwCurrentState, kServiceStopped);
    EXPECT_EQ(s.dwControlsAccepted, kServiceAcceptStop);
    EXPECT_EQ(s.dwWin32ExitCode, 0u);
    EXPECT_EQ(s.dwServiceSpecificExitCode, 0u);
    EXPECT_EQ(s.dwCheckPoint, 0u);
    EXPECT_EQ(s.dwWaitHint, 0u);
    EXPECT_TRUE(platform.Log().empty());
}

TEST_F(ServiceHostTest, StartAndStopWalkTheStatesInOrderOnBothThreads) {
    std::uint32_t stopResult = 99;
    platform.SetDispatchScript([&](Substitute::Controls& scm) {
        ASSERT_TRUE(scm.WaitForEntry(Tr(kServiceThread, "Sleeping...")));
        stopResult = scm.Control(kControlStop);
    });
    {
        CNTService service("KQMIEx64", platform, registry);
        EXPECT_TRUE(service.StartDispatcher());
        EXPECT_FALSE(service.running);
    }
    EXPECT_EQ(stopResult, 0u);

    EXPECT_EQ(
        Collapse(platform.Log(kServiceThread)),
        (Lines{Tr(kServiceThread, "Entering CNTService::ServiceMain()"),
               "handler KQMIEx64 context=1", kNotification,
               Tr(kServiceThread, "Entering CNTService::Initialize()"),
               Tr(kServiceThread, "CNTService::SetStatus(20816, 2)"), "status 2 exit=0",
               Tr(kServiceThread, "CNTService::OnInit()"), "event info 105",
               Tr(kServiceThread, "CNTService::SetStatus(20816, 4)"), "status 4 exit=0",
               Tr(kServiceThread, "Leaving CNTService::Initialize()"),
               Tr(kServiceThread, "Entering CNTService::Run()"), Tr(kServiceThread, "Sleeping..."),
               Tr(kServiceThread, "Leaving CNTService::Run()"),
               Tr(kServiceThread, "CNTService::SetStatus(20816, 1)"), "status 1 exit=0",
               Tr(kServiceThread, "Leaving CNTService::ServiceMain()")}));
    EXPECT_EQ(
        platform.Log(kMain),
        (Lines{Tr(kMain, "Calling StartServiceCtrlDispatcher()"), "dispatcher KQMIEx64",
               Tr(kMain, "CNTService::Handler(1)"), Tr(kMain, "CNTService::SetStatus(20816, 3)"),
               "status 3 exit=0", Tr(kMain, "CNTService::OnStop()"), "event info 108",
               Tr(kMain, "Updating status (20816, 3)"), "status 3 exit=0",
               Tr(kMain, "Returned from StartServiceCtrlDispatcher()"),
               Tr(kMain, "CNTService::~CNTService()")}));

    // Run ends only after OnStop; the stopped report is the last one.
    const Lines all = platform.Log();
    EXPECT_LT(IndexOf(all, Tr(kMain, "CNTService::OnStop()")),
              IndexOf(all, Tr(kServiceThread, "Leaving CNTService::Run()")));
    const auto reports = platform.StatusReports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().status.dwCurrentState, kServiceStopped);
    for (const auto& report : reports) {
        EXPECT_EQ(report.handle, Substitute::kStatusHandle);
        EXPECT_EQ(report.status.dwServiceType, 0x10u);
        EXPECT_EQ(report.status.dwControlsAccepted, kServiceAcceptStop);
        EXPECT_EQ(report.status.dwCheckPoint, 0u);
        EXPECT_EQ(report.status.dwWaitHint, 0u);
    }
    EXPECT_EQ(platform.eventSourceCloses(), 1);
}

TEST_F(ServiceHostTest, AStopRightAfterTheRunningReportStillEndsRun) {
    // The stop is handled after SERVICE_RUNNING went out, before ServiceMain sets running.
    platform.SetHoldAtTrace("Leaving CNTService::Initialize()");
    platform.SetDispatchScript([&](Substitute::Controls& scm) {
        ASSERT_TRUE(scm.WaitForEntry(Tr(kServiceThread, "Leaving CNTService::Initialize()")));
        EXPECT_EQ(scm.Control(kControlStop), 0u);
        scm.ReleaseHold();
    });
    ScriptedService service(platform, registry, true, 0);
    EXPECT_TRUE(service.StartDispatcher());
    EXPECT_FALSE(service.running);
    EXPECT_EQ(service.runCalls, 1);
    const Lines log = platform.Log();
    EXPECT_LT(IndexOf(log, Tr(kServiceThread, "Leaving CNTService::Initialize()")),
              IndexOf(log, "event info 108"));
    EXPECT_LT(IndexOf(log, "event info 108"),
              IndexOf(log, Tr(kServiceThread, "Leaving CNTService::ServiceMain()")));
    EXPECT_EQ(platform.StatusReports().back().status.dwCurrentState, kServiceStopped);
}

struct ControlCase {
    const char* name;
    std::uint32_t control;
    std::uint32_t eventType;
    Lines between;  // the main thread's entries between the Handler trace and the report
};

TEST_F(ServiceHostTest, EveryControlOtherThanStopReportsTheUnchangedStatusAndReturnsZero) {
    const std::vector<ControlCase> cases = {
        {"interrogate", kControlInterrogate, 0, {Tr(kMain, "CNTService::OnInterrogate()")}},
        {"pause", kControlPause, 0, {Tr(kMain, "CNTService::OnPause()")}},
        {"continue", kControlContinue, 0, {Tr(kMain, "CNTService::OnContinue()")}},
        {"shutdown", kControlShutdown, 0, {Tr(kMain, "CNTService::OnShutdown()")}},
        {"paramchange", kControlParamChange, 0, {"event error 106"}},
        {"code 14", 14, 0, {"event error 106"}},
        {"code 0", 0, 0, {"event error 106"}},
        {"code 127", 127, 0, {"event error 106"}},
        {"user 128",
         128,
         0,
         {Tr(kMain, "CNTService::OnUserControl(00000080H)"), "event error 106"}},
        {"user 255",
         255,
         0,
         {Tr(kMain, "CNTService::OnUserControl(000000FFH)"), "event error 106"}},
        {"arrival",
         kControlDeviceEvent,
         kDbtDeviceArrival,
         {Tr(kMain, "CNTService::OnDeviceChange(00008000H)")}},
        {"query remove",
         kControlDeviceEvent,
         kDbtDeviceQueryRemove,
         {Tr(kMain, "CNTService::OnDeviceChange(00008001H)")}},
    };
    std::vector<Lines> seen;
    std::vector<std::uint32_t> results;
    platform.SetDispatchScript([&](Substitute::Controls& scm) {
        ASSERT_TRUE(scm.WaitForState(kServiceRunning));
        for (const auto& c : cases) {
            const std::size_t before = platform.Log(kMain).size();
            results.push_back(c.control == kControlDeviceEvent ? scm.DeviceEvent(c.eventType)
                                                               : scm.Control(c.control));
            seen.push_back(After(platform.Log(kMain), before));
        }
        scm.Control(kControlStop);
    });
    CNTService service("KQMIEx64", platform, registry);
    service.StartDispatcher();

    ASSERT_EQ(seen.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        Lines expected{Tr(kMain, "CNTService::Handler(" + std::to_string(c.control) + ")")};
        expected.insert(expected.end(), c.between.begin(), c.between.end());
        expected.push_back(Tr(kMain, "Updating status (20816, 4)"));
        expected.push_back("status 4 exit=0");
        EXPECT_EQ(seen[i], expected) << c.name;
        EXPECT_EQ(results[i], 0u) << c.name;
    }
}

TEST_F(ServiceHostTest, FailedInitialisationStopsTwiceWithTheLastErrorAsExitCode) {
    platform.SetDispatchScript([&](Substitute::Controls& scm) {
        EXPECT_TRUE(scm.WaitForState(kServiceStopped));
        // The SCM passes no stop to a service that never ran.
        EXPECT_EQ(scm.Control(kControlStop), kErrorServiceCannotAcceptCtrl);
    });
    ScriptedService service(platform, registry, false, kErrorFileNotFound);
    char program[] = "KQMIEx64.exe";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(RunServiceProgram(service, 1, argv), 2);

    EXPECT_EQ(service.runCalls, 0);
    EXPECT_EQ(platform.Log(kServiceThread),
              (Lines{Tr(kServiceThread, "Entering CNTService::ServiceMain()"),
                     "handler KQMIEx64 context=1", kNotification,
                     Tr(kServiceThread, "Entering CNTService::Initialize()"),
                     Tr(kServiceThread, "CNTService::SetStatus(20816, 2)"), "status 2 exit=0",
                     "event error 104", Tr(kServiceThread, "CNTService::SetStatus(20816, 1)"),
                     "status 1 exit=2", Tr(kServiceThread, "CNTService::SetStatus(20816, 1)"),
                     "status 1 exit=2", Tr(kServiceThread, "Leaving CNTService::ServiceMain()")}));
}

TEST_F(ServiceHostTest, LastErrorAfterASuccessfulInitReachesTheRunningReportOnly) {
    platform.SetDispatchScript([&](Substitute::Controls& scm) {
        ASSERT_TRUE(scm.WaitForEntry(Tr(kServiceThread, "ScriptedService::Run()")));
        scm.Control(kControlInterrogate);
        scm.Control(kControlStop);
    });
    ScriptedService service(platform, registry, true, 5);
    char program[] = "KQMIEx64.exe";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(RunServiceProgram(service, 1, argv), 0);

    EXPECT_EQ(service.runCalls, 1);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stateAndExit;
    for (const auto& r : platform.StatusReports()) {
        stateAndExit.emplace_back(r.status.dwCurrentState, r.status.dwWin32ExitCode);
    }
    using P = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(stateAndExit, (std::vector<P>{{2, 0}, {4, 5}, {4, 0}, {3, 0}, {3, 0}, {1, 0}}));
}

TEST_F(ServiceHostTest, FailedHandlerRegistrationLogsEvent103AndReportsNoStatus) {
    platform.SetHandlerRegistrationError(kErrorAccessDenied);
    CNTService service("KQMIEx64", platform, registry);
    EXPECT_TRUE(service.StartDispatcher());

    EXPECT_TRUE(platform.StatusReports().empty());
    EXPECT_EQ(platform.Log(kServiceThread),
              (Lines{Tr(kServiceThread, "Entering CNTService::ServiceMain()"),
                     "handler KQMIEx64 context=1", "event error 103"}));
    EXPECT_FALSE(service.running);
}

TEST_F(ServiceHostTest, OutsideTheScmTheDispatcherFailsAtOnceAndTheExitCodeIsZero) {
    platform.SetStartedByScm(false);
    {
        ScriptedService service(platform, registry, true, 0);
        char program[] = "KQMIEx64.exe";
        char* argv[] = {program, nullptr};
        EXPECT_EQ(RunServiceProgram(service, 1, argv), 0);
        EXPECT_EQ(service.runCalls, 0);
    }
    EXPECT_EQ(platform.Log(),
              (Lines{Tr(kMain, "Calling StartServiceCtrlDispatcher()"), "dispatcher KQMIEx64",
                     Tr(kMain, "Returned from StartServiceCtrlDispatcher()"),
                     Tr(kMain, "CNTService::~CNTService()")}));
    EXPECT_EQ(platform.Console(), "");
}

TEST_F(ServiceHostTest, EventSourceOpensOnFirstUseRetriesAfterRefusalAndClosesAtDestruction) {
    {
        CNTService service("KQMIEx64", platform, registry);
        platform.SetEventLogAvailable(false);
        service.ReportServiceEvent(kEventlogErrorType, kMsgBadRequest);
        EXPECT_TRUE(platform.Events().empty());
        EXPECT_FALSE(service.eventSource);

        platform.SetEventLogAvailable(true);
        service.ReportServiceEvent(kEventlogInformationType, kMsgServiceInstalled, "KQMIEx64");
        service.ReportServiceEvent(kEventlogErrorType, kMsgServiceNotRemoved, nullptr, "second");
        EXPECT_EQ(platform.EventSourceOpens(), (Lines{"KQMIEx64", "KQMIEx64"}));
        EXPECT_EQ(service.eventSource.get(), Substitute::kEventSourceHandle);
        EXPECT_EQ(platform.eventSourceCloses(), 0);
    }
    EXPECT_EQ(platform.eventSourceCloses(), 1);
    const auto events = platform.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].source, Substitute::kEventSourceHandle);
    EXPECT_EQ(events[0].type, kEventlogInformationType);
    EXPECT_EQ(events[0].category, 0);
    EXPECT_EQ(events[0].id, 100u);
    EXPECT_EQ(events[0].strings, (Lines{"KQMIEx64"}));
    EXPECT_EQ(events[1].id, 102u);
    EXPECT_EQ(events[1].strings, (Lines{"second"}));
}

TEST_F(ServiceHostTest, EventsReportedFromTwoThreadsOpenTheSourceOnce) {
    CNTService service("KQMIEx64", platform, registry);
    auto report = [&service] {
        for (int i = 0; i < 200; ++i) service.ReportServiceEvent(kEventlogErrorType, 106);
    };
    std::thread other(report);
    report();
    other.join();
    EXPECT_EQ(platform.EventSourceOpens(), (Lines{"KQMIEx64"}));
    EXPECT_EQ(platform.Events().size(), 400u);
}

TEST_F(ServiceHostTest, LongNamesAreCutTo63CharactersEverywhere) {
    const std::string name63(63, 'N');
    for (const std::string& given : {name63, name63 + "X", name63 + std::string(40, 'Y')}) {
        Substitute local;
        local.SetHandlerRegistrationError(kErrorAccessDenied);
        CNTService service(given.c_str(), local, registry);
        EXPECT_EQ(std::string(service.serviceName), name63);
        service.StartDispatcher();
        const Lines log = local.Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[0], Tr(kMain, "Calling StartServiceCtrlDispatcher()", name63));
        EXPECT_EQ(log[1], "dispatcher " + name63);
        EXPECT_EQ(log[3], "handler " + name63 + " context=1");
        EXPECT_EQ(local.EventSourceOpens(), (Lines{name63}));
    }
}

TEST_F(ServiceHostTest, TraceLinesAreCutToFit1024BytesAndAlwaysEndInALineFeed) {
    CNTService service("KQMIEx64", platform, registry);
    const std::string prefix = "[KQMIEx64](1000): ";
    const std::size_t fits = 1024 - 1 - 1 - prefix.size();  // room for "\n" and the NUL
    struct Case {
        std::size_t messageLength;
        std::size_t expectedMessageLength;
    };
    const std::vector<Case> cases = {{0, 0},       {1, 1},           {fits - 1, fits - 1},
                                     {fits, fits}, {fits + 1, fits}, {5000, fits}};
    for (const auto& c : cases) {
        platform.ClearLog();
        const std::string message(c.messageLength, 'm');
        Trace(&service, "%s", message.c_str());
        const Lines traces = platform.Traces();
        ASSERT_EQ(traces.size(), 1u);
        EXPECT_EQ(traces[0], prefix + std::string(c.expectedMessageLength, 'm') + "\n")
            << c.messageLength;
        EXPECT_LE(traces[0].size() + 1, 1024u);
    }
    platform.ClearLog();
    Trace(&service, "CNTService::OnUserControl(%8.8lXH) %s %d", 0x1234ul, "text", -7);
    EXPECT_EQ(platform.Traces(),
              (Lines{prefix + "CNTService::OnUserControl(00001234H) text -7\n"}));
}

}  // namespace
}  // namespace kqm
