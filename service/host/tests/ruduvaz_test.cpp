// The drive label service on the substitute platform over the sample reader fixture: labels
// at start and on arrival, release on removal, everything gone at stop, and its controls.
#include "app/ruduvaz.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/program.h"
#include "service_test_support.h"
#include "testing/drive_type_table.h"
#include "testing/memory_registry.h"
#include "testing/reg_file.h"

namespace kqm {
namespace {

using namespace kqm::testing;

const std::string kIcons = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\";

std::string Text(const std::optional<StoredValue>& value) {
    if (!value) return "(none)";
    std::string text(value->data.begin(), value->data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

class DriveLabelServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto loaded = LoadRegFile(KQ_FIXTURES_DIR "/sample_reader.reg", registry);
        ASSERT_TRUE(loaded.ok) << loaded.message;
        for (char letter : {'E', 'F', 'G', 'H', 'I'}) drives.Set(letter, kDriveRemovable);
        drives.Set('C', kDriveFixed);
    }

    // The label Explorer shows for a letter and the marker beside it: "label|marker".
    std::string LabelOf(char letter) const {
        const std::string key = kIcons + letter;
        return Text(registry.GetValueAt(key + "\\DefaultLabel", "")) + "|" +
               Text(registry.GetValueAt(key, "KQMHMD"));
    }
    std::string Table(const RUDuvAz& service) const {
        std::string letters;
        for (const auto& slot : service.driveSlots) letters += slot.letter ? slot.letter : '.';
        return letters;
    }
    // Runs the service: script on the dispatcher thread, then a stop unless the script stopped.
    void RunService(RUDuvAz& service, const std::function<void(Substitute::Controls&)>& script) {
        platform.SetDispatchScript([&](Substitute::Controls& scm) {
            ASSERT_TRUE(scm.WaitForState(kServiceRunning));
            script(scm);
            scm.Control(kControlStop);
        });
        service.StartDispatcher();
    }

    Substitute platform;
    MemoryRegistry registry;
    DriveTypeTable drives;
    AsciiTextConverter text;
};

TEST_F(DriveLabelServiceTest, StartLabelsEveryReaderSlotAndTracesNothingOfItsOwn) {
    RUDuvAz service(platform, registry, drives, text);
    std::string labelsWhileRunning, tableWhileRunning;
    RunService(service, [&](Substitute::Controls&) {
        for (char letter : {'D', 'E', 'F', 'G', 'H', 'I'}) {
            labelsWhileRunning += std::string(1, letter) + "=" + LabelOf(letter) + ";";
        }
        tableWhileRunning = Table(service);
    });

    EXPECT_EQ(labelsWhileRunning,
              "D=(none)|(none);E=Compact Flash Drive|Compact Flash Drive;"
              "F=SD Card Drive|SD Card Drive;G=Memory Stick Drive|Memory Stick Drive;"
              "H=xD Card Drive|xD Card Drive;I=(none)|(none);");
    EXPECT_EQ(tableWhileRunning, "EFGH................");
    EXPECT_EQ(platform.Log(kServiceThread),
              (Lines{Tr(kServiceThread, "Entering CNTService::ServiceMain()"),
                     "handler KQMIEx64 context=1", kNotification,
                     Tr(kServiceThread, "Entering CNTService::Initialize()"),
                     Tr(kServiceThread, "CNTService::SetStatus(20816, 2)"), "status 2 exit=0",
                     "event info 105", Tr(kServiceThread, "CNTService::SetStatus(20816, 4)"),
                     "status 4 exit=0", Tr(kServiceThread, "Leaving CNTService::Initialize()"),
                     Tr(kServiceThread, "CNTService::SetStatus(20816, 1)"), "status 1 exit=0",
                     Tr(kServiceThread, "Leaving CNTService::ServiceMain()")}));
}

TEST_F(DriveLabelServiceTest, StopRemovesEveryMarkedLabelAndKeepsTheUsersOwn) {
    // Left by an earlier run that never stopped: a marked label on a letter that is no reader
    // slot any more. And a label the user set himself.
    registry.SetStringAt(kIcons + "J", "KQMHMD", "SD Card Drive");
    registry.SetStringAt(kIcons + "J\\DefaultLabel", "", "SD Card Drive");
    registry.SetStringAt(kIcons + "K\\DefaultLabel", "", "Memory Stick Drive");
    RUDuvAz service(platform, registry, drives, text);
    std::string leftoverWhileRunning;
    RunService(service, [&](Substitute::Controls&) { leftoverWhileRunning = LabelOf('J'); });

    EXPECT_EQ(leftoverWhileRunning, "(none)|(none)");
    for (char letter : {'E', 'F', 'G', 'H', 'J'}) {
        EXPECT_FALSE(registry.KeyExists(kIcons + letter)) << letter;
    }
    EXPECT_EQ(LabelOf('K'), "Memory Stick Drive|(none)");
    EXPECT_EQ(Table(service), "....................");
    EXPECT_EQ(
        platform.Log(kMain),
        (Lines{Tr(kMain, "Calling StartServiceCtrlDispatcher()"), "dispatcher KQMIEx64",
               Tr(kMain, "CNTService::Handler(1)"), Tr(kMain, "CNTService::SetStatus(20816, 3)"),
               "status 3 exit=0", Tr(kMain, "RUDuvAz::OnStop()"), "event info 108",
               Tr(kMain, "Updating status (20816, 3)"), "status 3 exit=0",
               Tr(kMain, "Returned from StartServiceCtrlDispatcher()")}));
}

TEST_F(DriveLabelServiceTest, EachArrivalLabelsAtMostOneLetterScanningFromD) {
    // The reader is plugged in after the start: its letters are not there yet.
    for (char letter : {'E', 'F', 'G', 'H', 'I'}) drives.Set(letter, kDriveNoRootDir);
    RUDuvAz service(platform, registry, drives, text);
    std::vector<std::string> tables;
    std::vector<Lines> traces;
    RunService(service, [&](Substitute::Controls& scm) {
        tables.push_back(Table(service));
        for (char letter : {'E', 'F', 'G', 'H', 'I'}) drives.Set(letter, kDriveRemovable);
        for (int i = 0; i < 5; ++i) {
            service.scanStartLetter = 'Z';  // the arrival must start again from D
            const std::size_t before = platform.Log(kMain).size();
            EXPECT_EQ(scm.DeviceEvent(kDbtDeviceArrival), 0u);
            traces.push_back(After(platform.Log(kMain), before));
            tables.push_back(Table(service));
        }
    });

    EXPECT_EQ(tables,
              (Lines{"....................", "E...................", "EF..................",
                     "EFG.................", "EFGH................", "EFGH................"}));
    for (const auto& t : traces) {
        EXPECT_EQ(t, (Lines{Tr(kMain, "CNTService::Handler(11)"), Tr(kMain, "DeviceArrival-Enter"),
                            Tr(kMain, "DeviceArrival-Exit"),
                            Tr(kMain, "Updating status (20816, 4)"), "status 4 exit=0"}));
    }
}

TEST_F(DriveLabelServiceTest, EachRemoveCompleteReleasesAtMostOneLabelFromTheHighestEntry) {
    RUDuvAz service(platform, registry, drives, text);
    std::vector<std::string> tables, labels;
    std::vector<Lines> traces;
    RunService(service, [&](Substitute::Controls& scm) {
        // Two slots' volumes go away; the other two stay.
        drives.Set('F', kDriveNoRootDir);
        drives.Set('H', kDriveNoRootDir);
        for (int i = 0; i < 3; ++i) {
            const std::size_t before = platform.Log(kMain).size();
            EXPECT_EQ(scm.DeviceEvent(kDbtDeviceRemoveComplete), 0u);
            traces.push_back(After(platform.Log(kMain), before));
            tables.push_back(Table(service));
            labels.push_back(LabelOf('F') + " " + LabelOf('H'));
        }
    });

    EXPECT_EQ(tables,
              (Lines{"EFG.................", "E.G.................", "E.G................."}));
    EXPECT_EQ(labels, (Lines{"SD Card Drive|SD Card Drive (none)|(none)",
                             "(none)|(none) (none)|(none)", "(none)|(none) (none)|(none)"}));
    for (const auto& t : traces) {
        EXPECT_EQ(
            t, (Lines{Tr(kMain, "CNTService::Handler(11)"), Tr(kMain, "DeviceRemoveComplete-Enter"),
                      Tr(kMain, "DeviceRemoveComplete-Exit"),
                      Tr(kMain, "Updating status (20816, 4)"), "status 4 exit=0"}));
    }
}

TEST_F(DriveLabelServiceTest, OtherDeviceEventsShutdownAndUserCodesDoNoLabelWork) {
    struct Case {
        const char* name;
        std::uint32_t control;
        std::uint32_t eventType;
        Lines between;
    };
    const std::vector<Case> cases = {
        {"query remove", kControlDeviceEvent, kDbtDeviceQueryRemove, {}},
        {"query remove failed", kControlDeviceEvent, 0x8002, {}},
        {"remove pending", kControlDeviceEvent, 0x8003, {}},
        {"custom event", kControlDeviceEvent, 0x8006, {}},
        {"devnodes changed", kControlDeviceEvent, 0x0007, {}},
        {"shutdown", kControlShutdown, 0, {}},
        {"user 128", 128, 0, {}},
        {"user 129", 129, 0, {"event error 106"}},
        {"user 255", 255, 0, {"event error 106"}},
    };
    RUDuvAz service(platform, registry, drives, text);
    std::vector<Lines> seen;
    std::vector<std::uint64_t> registryCalls;
    std::vector<std::uint32_t> results;
    RunService(service, [&](Substitute::Controls& scm) {
        for (const auto& c : cases) {
            registry.ResetCallCounts();
            const unsigned driveQueries = drives.queries();
            const std::size_t before = platform.Log(kMain).size();
            results.push_back(c.control == kControlDeviceEvent ? scm.DeviceEvent(c.eventType)
                                                               : scm.Control(c.control));
            seen.push_back(After(platform.Log(kMain), before));
            registryCalls.push_back(registry.callCounts().total + drives.queries() - driveQueries);
        }
    });
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Lines expected{Tr(kMain, "CNTService::Handler(" + std::to_string(cases[i].control) + ")")};
        expected.insert(expected.end(), cases[i].between.begin(), cases[i].between.end());
        expected.push_back(Tr(kMain, "Updating status (20816, 4)"));
        expected.push_back("status 4 exit=0");
        EXPECT_EQ(seen[i], expected) << cases[i].name;
        EXPECT_EQ(registryCalls[i], 0u) << cases[i].name;
        EXPECT_EQ(results[i], 0u) << cases[i].name;
    }
}

TEST_F(DriveLabelServiceTest, StartSucceedsWhenEveryRegistryAccessFails) {
    registry.SetFailureHook(
        [](MemoryRegistry::Operation, const char*) -> long { return kErrorAccessDenied; });
    RUDuvAz service(platform, registry, drives, text);
    RunService(service, [](Substitute::Controls&) {});
    const Lines log = platform.Log(kServiceThread);
    EXPECT_LT(IndexOf(log, "event info 105"), log.size());
    EXPECT_LT(IndexOf(log, "status 4 exit=0"), log.size());
    EXPECT_EQ(IndexOf(log, "event error 104"), log.size());
}

TEST_F(DriveLabelServiceTest, RunReturnsAtOnceWhenNotRunningAndWithinASecondOfTheStop) {
    {
        RUDuvAz idle(platform, registry, drives, text);
        const auto start = std::chrono::steady_clock::now();
        idle.Run();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
        EXPECT_EQ(platform.sleeps(), 0);
    }
    platform.SetSleepDivisor(1);  // real seconds
    RUDuvAz service(platform, registry, drives, text);
    std::chrono::steady_clock::time_point stopped;
    platform.SetDispatchScript([&](Substitute::Controls& scm) {
        ASSERT_TRUE(scm.WaitForState(kServiceRunning));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        scm.Control(kControlStop);
        stopped = std::chrono::steady_clock::now();
    });
    service.StartDispatcher();
    const auto ended = std::chrono::steady_clock::now();
    EXPECT_LT(ended - stopped, std::chrono::milliseconds(1300));
    EXPECT_GE(platform.sleeps(), 1);
}

TEST_F(DriveLabelServiceTest, ANormalServiceRunOfTheProgramExitsWithZero) {
    platform.SetDispatchScript([](Substitute::Controls& scm) {
        ASSERT_TRUE(scm.WaitForState(kServiceRunning));
        scm.Control(kControlStop);
    });
    char program[] = "KQMIEx64.exe";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(ProgramMain(1, argv, platform, registry, drives, text), 0);
    EXPECT_FALSE(registry.KeyExists(kIcons + "E"));
    const Lines log = platform.Log(kMain);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), Tr(kMain, "CNTService::~CNTService()"));
}

}  // namespace
}  // namespace kqm
