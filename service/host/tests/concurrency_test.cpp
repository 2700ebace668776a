// Device events on the dispatcher thread while OnInit runs on the service thread, a stop
// while Run polls, and the reader's volumes coming and going underneath, many times over:
// the label work never overlaps (ThreadSanitizer watches the table), the table stays whole,
// and after the stop no label of the service is left.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/ruduvaz.h"
#include "service_test_support.h"
#include "testing/drive_type_table.h"
#include "testing/memory_registry.h"
#include "testing/reg_file.h"

namespace kqm {
namespace {

using namespace kqm::testing;

const std::string kIcons = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\";
const std::string kMounted = "SYSTEM\\MountedDevices";
constexpr int kRounds = 40;
constexpr int kEventsPerPhase = 30;

// Problems seen from inside the label work, where the table may be read.
class TableWatch {
  public:
    void Check(const RUDuvAz& service) {
        std::string seen;
        for (const auto& slot : service.driveSlots) {
            if (slot.letter == 0) continue;
            if (slot.letter < 'D' || slot.letter > 'Z') Note("letter out of range");
            if (seen.find(slot.letter) != std::string::npos) Note("letter twice in the table");
            seen += slot.letter;
        }
    }
    std::vector<std::string> problems() {
        std::lock_guard<std::mutex> lock(mutex_);
        return problems_;
    }

  private:
    void Note(const char* what) {
        std::lock_guard<std::mutex> lock(mutex_);
        problems_.emplace_back(what);
    }
    std::mutex mutex_;
    std::vector<std::string> problems_;
};

TEST(DriveLabelServiceConcurrency, EventsDuringStartAndStopLeaveTheTableWholeAndNoLabelBehind) {
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Substitute platform;
        MemoryRegistry registry;
        ASSERT_TRUE(LoadRegFile(KQ_FIXTURES_DIR "/sample_reader.reg", registry).ok);
        // A label of the user's, and a marked one left by an earlier run.
        registry.SetStringAt(kIcons + "K\\DefaultLabel", "", "SD Card Drive");
        registry.SetStringAt(kIcons + "M", "KQMHMD", "xD Card Drive");
        registry.SetStringAt(kIcons + "M\\DefaultLabel", "", "xD Card Drive");
        DriveTypeTable drives;
        for (char letter : {'E', 'F', 'G', 'H', 'I'}) drives.Set(letter, kDriveRemovable);
        AsciiTextConverter text;
        RUDuvAz service(platform, registry, drives, text);

        // Every registry call of the service comes from inside its label work.
        TableWatch watch;
        registry.SetFailureHook([&](MemoryRegistry::Operation, const char*) -> long {
            watch.Check(service);
            std::this_thread::yield();
            return 0;
        });

        // The reader's volumes come and go underneath.
        std::vector<std::pair<char, StoredValue>> volumes;
        for (char letter : {'E', 'F', 'G', 'H'}) {
            const std::string name = std::string("\\DosDevices\\") + letter + ":";
            const auto value = registry.GetValueAt(kMounted, name);
            ASSERT_TRUE(value);
            volumes.emplace_back(letter, *value);
        }
        std::atomic<bool> plugging{true};
        std::thread plugger([&, seed = static_cast<unsigned>(round)] {
            std::mt19937 random(seed);
            while (plugging) {
                const auto& [letter, value] = volumes[random() % volumes.size()];
                const std::string name = std::string("\\DosDevices\\") + letter + ":";
                if (random() % 2 == 0) {
                    drives.Set(letter, kDriveNoRootDir);
                    registry.DeleteValueAt(kMounted, name);
                } else {
                    registry.SetValueAt(kMounted, name, value.type, value.data);
                    drives.Set(letter, kDriveRemovable);
                }
                std::this_thread::yield();
            }
        });

        platform.SetDispatchScript([&](Substitute::Controls& scm) {
            auto events = [&scm] {
                for (int i = 0; i < kEventsPerPhase; ++i) {
                    scm.DeviceEvent(i % 3 == 2 ? kDbtDeviceRemoveComplete : kDbtDeviceArrival);
                }
            };
            ASSERT_TRUE(scm.WaitForNotification());
            events();  // while OnInit runs
            ASSERT_TRUE(scm.WaitForState(kServiceRunning));
            events();
            EXPECT_EQ(scm.Control(kControlStop), 0u);
        });
        service.StartDispatcher();
        plugging = false;
        plugger.join();
        registry.SetFailureHook(nullptr);

        EXPECT_EQ(watch.problems(), Lines{});
        for (const auto& slot : service.driveSlots) EXPECT_EQ(slot.letter, 0);
        for (char letter = 'D'; letter <= 'Z'; ++letter) {
            EXPECT_FALSE(registry.GetValueAt(kIcons + letter, "KQMHMD")) << letter;
        }
        EXPECT_EQ(
            registry.GetValueAt(kIcons + "K\\DefaultLabel", ""),
            (StoredValue{kRegSz,
                         {'S', 'D', ' ', 'C', 'a', 'r', 'd', ' ', 'D', 'r', 'i', 'v', 'e', 0}}));
        // Every arrival and removal was handled whole, in its own turn.
        const Lines main = platform.Log(kMain);
        std::size_t enters = 0;
        for (std::size_t i = 0; i < main.size(); ++i) {
            if (main[i] == Tr(kMain, "DeviceArrival-Enter") ||
                main[i] == Tr(kMain, "DeviceRemoveComplete-Enter")) {
                ++enters;
                ASSERT_LT(i + 1, main.size());
                EXPECT_EQ(main[i + 1], main[i] == Tr(kMain, "DeviceArrival-Enter")
                                           ? Tr(kMain, "DeviceArrival-Exit")
                                           : Tr(kMain, "DeviceRemoveComplete-Exit"));
            }
        }
        EXPECT_EQ(enters, static_cast<std::size_t>(2 * kEventsPerPhase));
    }
}

}  // namespace
}  // namespace kqm
