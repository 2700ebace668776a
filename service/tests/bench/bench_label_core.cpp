// The service's start-up work (reload, clear, scan of every letter) on the in-memory registry:
// 23 removable letters, a reader with eight slots, and USBSTOR with a growing number of device
// keys of three instances each. Reports the registry calls per run beside the time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/reader_drive_labels.h"
#include "core/reader_models.h"
#include "testing/device_records.h"
#include "testing/drive_type_table.h"
#include "testing/memory_registry.h"

namespace {

// Eight reader slots on D to K; every other letter holds another maker's USB disk, so every
// letter's lookup walks the whole USBSTOR key.
void BuildRegistry(kqm::MemoryRegistry& registry, int deviceKeys) {
    const std::string usbStor = std::string(kqm::kUsbStorPath) + "\\";
    char name[128];
    for (int device = 0; device < deviceKeys; ++device) {
        const bool reader = device < 8;
        if (reader) {
            std::snprintf(name, sizeof name, "%s&Rev_1.00",
                          kqm::ReaderModelTable[static_cast<std::size_t>(device)].deviceIdFragment);
        } else {
            std::snprintf(name, sizeof name, "Disk&Ven_Generic&Prod_Flash_Disk_%04d&Rev_8.07",
                          device);
        }
        for (int instance = 0; instance < 3; ++instance) {
            char prefix[32];
            std::snprintf(prefix, sizeof prefix, "7&%x&%d", device, instance);
            registry.SetStringAt(usbStor + name + "\\" + std::to_string(instance) + "&0",
                                 "ParentIdPrefix", prefix);
        }
    }
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        const int slot = letter - 'D';
        char prefix[32];
        if (slot < 8) {
            std::snprintf(prefix, sizeof prefix, "7&%x&0", slot);
        } else {
            std::snprintf(prefix, sizeof prefix, "7&%x&9", slot);  // no instance carries it
        }
        registry.SetValueAt("SYSTEM\\MountedDevices", std::string("\\DosDevices\\") + letter + ":",
                            kqm::kRegBinary,
                            kqm::Utf16Bytes(kqm::RemovableVolumeName(prefix), false));
    }
}

void StartUp(benchmark::State& state) {
    kqm::MemoryRegistry registry;
    kqm::DriveTypeTable drives;
    kqm::AsciiTextConverter text;
    drives.SetAll(kqm::kDriveRemovable);
    BuildRegistry(registry, static_cast<int>(state.range(0)));
    kqm::ReaderDriveLabels labels(registry, drives, text);

    registry.ResetCallCounts();
    for (auto _ : state) {
        labels.ReloadDriveSlots();
        labels.ClearDriveLabels();
        labels.scanStartLetter = 'D';
        labels.LabelReaderDrives(true);
    }
    if (labels.driveSlots[7].letter != 'K')
        state.SkipWithError("the eight slots were not labelled");
    state.counters["registry_calls"] = benchmark::Counter(
        static_cast<double>(registry.callCounts().total), benchmark::Counter::kAvgIterations);
    state.counters["device_keys"] = static_cast<double>(state.range(0));
}

BENCHMARK(StartUp)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
