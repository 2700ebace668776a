// The program's command line on the substitute platform: -v, -i and -u, their console lines,
// SCM calls, event source key and events, and the hand-over to the dispatcher otherwise.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program.h"
#include "service_test_support.h"
#include "testing/drive_type_table.h"
#include "testing/memory_registry.h"

namespace kqm {
namespace {

using namespace kqm::testing;

const std::string kEventKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\KQMIEx64";
const std::string kModule = Substitute::kDefaultModulePath;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

class CommandLineTest : public ::testing::Test {
  protected:
    // Runs the program with the arguments after its name; returns its exit code.
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), "KQMIEx64.exe");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        return ProgramMain(static_cast<int>(args.size()), argv.data(), platform, registry, drives,
                           text);
    }
    // The log without the trace lines (the destructor's).
    Lines Calls() const {
        Lines out;
        for (const auto& line : platform.Log()) {
            if (line.rfind("trace ", 0) != 0) out.push_back(line);
        }
        return out;
    }
    void Installed(std::uint32_t state, int queriesUntilStopped = 1) {
        Substitute::Service s;
        s.name = "KQMIEx64";
        s.binaryPath = kModule;
        s.currentState = state;
        s.queriesUntilStopped = queriesUntilStopped;
        platform.AddService(s);
    }

    Substitute platform;
    MemoryRegistry registry;
    DriveTypeTable drives;
    AsciiTextConverter text;
};

TEST_F(CommandLineTest, VersionPrintsTheVersionAndTheInstallationState) {
    for (const char* option : {"-v", "-V"}) {
        platform.ClearLog();
        EXPECT_EQ(Run({option}), 0);
        EXPECT_EQ(platform.Console(), "KQMIEx64 Version 1.11\nThe service is not installed\n");
    }
    Installed(kServiceStopped);
    platform.ClearLog();
    EXPECT_EQ(Run({"-v", "ignored"}), 0);
    EXPECT_EQ(platform.Console(), "KQMIEx64 Version 1.11\nThe service is currently installed\n");
    EXPECT_EQ(Calls(),
              (Lines{"print KQMIEx64 Version 1.11\n", "OpenSCManagerA 0xF003F",
                     "OpenServiceA KQMIEx64 0x1", "CloseServiceHandle service",
                     "CloseServiceHandle manager", "print The service is currently installed\n"}));
    EXPECT_EQ(platform.openScHandles(), 0);
}

TEST_F(CommandLineTest, AnyOtherFirstArgumentHandsOverToTheDispatcherSilently) {
    platform.SetStartedByScm(false);
    const std::vector<std::vector<std::string>> lines = {
        {}, {"/v"}, {"/i"}, {"-x"}, {"v"}, {"-vv"}, {"--u"}, {""}, {"-"}, {"/u", "-u"}};
    for (const auto& args : lines) {
        platform.ClearLog();
        EXPECT_EQ(Run(args), 0);
        EXPECT_EQ(Calls(), (Lines{"dispatcher KQMIEx64"})) << args.size();
        EXPECT_EQ(platform.Console(), "");
    }
}

TEST_F(CommandLineTest, InstallCreatesTheEntryTheEventSourceKeyAndLogsEvent100) {
    EXPECT_EQ(Run({"-I", "anything"}), 0);

    EXPECT_EQ(Calls(),
              (Lines{"OpenSCManagerA 0xF003F", "OpenServiceA KQMIEx64 0x1",
                     "CloseServiceHandle manager", "OpenSCManagerA 0xF003F",
                     "CreateServiceA KQMIEx64 display=KQMIEx64 access=0xF01FF type=0x10 start=2 "
                     "error=1 path=" +
                         kModule,
                     "event info 100 KQMIEx64", "CloseServiceHandle service",
                     "CloseServiceHandle manager", "print KQMIEx64 installed\n"}));
    EXPECT_EQ(platform.openScHandles(), 0);
    const auto service = platform.FindService("KQMIEx64");
    ASSERT_TRUE(service);
    EXPECT_EQ(service->binaryPath, kModule);

    EXPECT_EQ(registry.GetValueAt(kEventKey, "EventMessageFile"),
              (StoredValue{kRegExpandSz, Bytes(kModule)}));
    EXPECT_EQ(registry.GetValueAt(kEventKey, "TypesSupported"),
              (StoredValue{kRegDword, {7, 0, 0, 0}}));
    // The event source key is the one registry key written in the default view.
    std::vector<std::string> created;
    for (const auto& m : registry.mutations()) {
        if (m.operation == MemoryRegistry::Operation::Create) created.push_back(m.keyPath);
        if (m.operation == MemoryRegistry::Operation::CreateDefaultView) {
            created.push_back("default view: " + m.keyPath);
        }
    }
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(created.back(), "default view: " + kEventKey);
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

TEST_F(CommandLineTest, InstallFromAPathWithASpaceQuotesTheServicePathOnly) {
    const std::string path = "C:\\Program Files\\KQM\\KQMIEx64.exe";
    platform.SetModulePath(path);
    EXPECT_EQ(Run({"-i"}), 0);
    const auto service = platform.FindService("KQMIEx64");
    ASSERT_TRUE(service);
    EXPECT_EQ(service->binaryPath, "\"" + path + "\"");
    EXPECT_EQ(registry.GetValueAt(kEventKey, "EventMessageFile"),
              (StoredValue{kRegExpandSz, Bytes(path)}));
    EXPECT_EQ(platform.Console(), "KQMIEx64 installed\n");
}

TEST_F(CommandLineTest, InstallOnAnInstalledServiceChangesNothing) {
    Installed(kServiceRunning);
    EXPECT_EQ(Run({"-i"}), 0);
    EXPECT_EQ(Calls(), (Lines{"OpenSCManagerA 0xF003F", "OpenServiceA KQMIEx64 0x1",
                              "CloseServiceHandle service", "CloseServiceHandle manager",
                              "print KQMIEx64 is already installed\n"}));
    EXPECT_FALSE(registry.KeyExists(kEventKey));
}

TEST_F(CommandLineTest, InstallFailuresPrintTheErrorAndLogNothing) {
    {
        SCOPED_TRACE("no rights to the SCM");
        platform.SetScManagerError(kErrorAccessDenied);
        EXPECT_EQ(Run({"-i"}), 0);
        EXPECT_EQ(platform.Console(), "KQMIEx64 failed to install. Error 5\n");
        EXPECT_FALSE(registry.KeyExists(kEventKey));
        platform.SetScManagerError(0);
    }
    {
        SCOPED_TRACE("CreateServiceA fails");
        platform.ClearLog();
        platform.SetCreateServiceError(1078);  // ERROR_DUPLICATE_SERVICE_NAME
        EXPECT_EQ(Run({"-i"}), 0);
        EXPECT_EQ(platform.Console(), "KQMIEx64 failed to install. Error 1078\n");
        EXPECT_FALSE(registry.KeyExists(kEventKey));
        EXPECT_TRUE(platform.Events().empty());
        EXPECT_EQ(platform.openScHandles(), 0);
        platform.SetCreateServiceError(0);
    }
    {
        SCOPED_TRACE("the event source key can't be created");
        platform.ClearLog();
        registry.SetFailureHook([](MemoryRegistry::Operation op, const char*) -> long {
            return op == MemoryRegistry::Operation::CreateDefaultView ? kErrorAccessDenied : 0;
        });
        EXPECT_EQ(Run({"-i"}), 0);
        EXPECT_EQ(platform.Console(), "KQMIEx64 failed to install. Error 5\n");
        EXPECT_TRUE(platform.FindService("KQMIEx64"));
        EXPECT_TRUE(platform.Events().empty());
        EXPECT_EQ(platform.openScHandles(), 0);

        registry.SetFailureHook(nullptr);
        platform.ClearLog();
        EXPECT_EQ(Run({"-i"}), 0);
        EXPECT_EQ(platform.Console(), "KQMIEx64 is already installed\n");
        EXPECT_FALSE(registry.KeyExists(kEventKey));
    }
}

TEST_F(CommandLineTest, RemoveStopsARunningServicePollingEvery200msThenDeletesIt) {
    Installed(kServiceRunning, 3);
    EXPECT_EQ(Run({"-U"}), 0);
    EXPECT_EQ(
        Calls(),
        (Lines{
            "OpenSCManagerA 0xF003F", "OpenServiceA KQMIEx64 0x1", "CloseServiceHandle service",
            "CloseServiceHandle manager", "OpenSCManagerA 0xF003F", "OpenServiceA KQMIEx64 0xF01FF",
            "ControlService 1", "SleepEx 200", "QueryServiceStatus", "SleepEx 200",
            "QueryServiceStatus", "SleepEx 200", "QueryServiceStatus", "DeleteService",
            "event info 101 KQMIEx64", "CloseServiceHandle service", "CloseServiceHandle manager",
            "print KQMIEx64 removed. (You must delete the file (" + kModule + ") yourself.)\n"}));
    EXPECT_FALSE(platform.FindService("KQMIEx64"));
    EXPECT_EQ(platform.openScHandles(), 0);
}

// The part of the -u calls from the stop request to the deletion.
Lines StopWait(const Lines& calls) {
    const auto from = IndexOf(calls, "ControlService 1");
    const auto to = IndexOf(calls, "DeleteService");
    if (from >= calls.size() || to >= calls.size()) return {"(missing)"};
    return Lines(calls.begin() + static_cast<std::ptrdiff_t>(from),
                 calls.begin() + static_cast<std::ptrdiff_t>(to + 1));
}

TEST_F(CommandLineTest, RemoveWaitEndsOnFailureAtOnceAndAtItsBound) {
    {
        SCOPED_TRACE("a stopped service refuses the stop: deletion follows at once");
        Installed(kServiceStopped);
        EXPECT_EQ(Run({"-u"}), 0);
        EXPECT_EQ(StopWait(Calls()), (Lines{"ControlService 1", "DeleteService"}));
    }
    {
        SCOPED_TRACE("a failing status query ends the wait");
        platform.ClearLog();
        Installed(kServiceRunning, -1);
        platform.SetQueryServiceStatusFails(true);
        EXPECT_EQ(Run({"-u"}), 0);
        EXPECT_EQ(StopWait(Calls()), (Lines{"ControlService 1", "SleepEx 200", "QueryServiceStatus",
                                            "DeleteService"}));
        platform.SetQueryServiceStatusFails(false);
    }
    {
        SCOPED_TRACE("a service that never stops is waited for 30 s, then marked for deletion");
        platform.ClearLog();
        Installed(kServiceRunning, -1);
        EXPECT_EQ(Run({"-u"}), 0);
        Lines expected{"ControlService 1"};
        for (int i = 0; i < 150; ++i) {
            expected.push_back("SleepEx 200");
            expected.push_back("QueryServiceStatus");
        }
        expected.push_back("DeleteService");
        EXPECT_EQ(StopWait(Calls()), expected);
        EXPECT_EQ(platform.Console(),
                  "KQMIEx64 removed. (You must delete the file (" + kModule + ") yourself.)\n");
    }
}

TEST_F(CommandLineTest, RemoveFailuresAndAbsenceAreReported) {
    {
        SCOPED_TRACE("not installed");
        EXPECT_EQ(Run({"-u"}), 0);
        EXPECT_EQ(Calls(),
                  (Lines{"OpenSCManagerA 0xF003F", "OpenServiceA KQMIEx64 0x1",
                         "CloseServiceHandle manager", "print KQMIEx64 is not installed\n"}));
    }
    {
        SCOPED_TRACE("no rights to the SCM: counts as not installed");
        platform.ClearLog();
        Installed(kServiceStopped);
        platform.SetScManagerError(kErrorAccessDenied);
        EXPECT_EQ(Run({"-u"}), 0);
        EXPECT_EQ(platform.Console(), "KQMIEx64 is not installed\n");
        platform.SetScManagerError(0);
    }
    {
        SCOPED_TRACE("DeleteService fails");
        platform.ClearLog();
        platform.SetDeleteServiceError(kErrorServiceMarkedForDelete);
        EXPECT_EQ(Run({"-u"}), 0);
        EXPECT_EQ(platform.Console(), "Could not remove KQMIEx64. Error 1072\n");
        const auto events = platform.Events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].type, kEventlogErrorType);
        EXPECT_EQ(events[0].id, 102u);
        EXPECT_EQ(events[0].strings, (Lines{"KQMIEx64"}));
        EXPECT_TRUE(platform.FindService("KQMIEx64"));
        EXPECT_EQ(platform.openScHandles(), 0);
    }
}

}  // namespace
}  // namespace kqm
