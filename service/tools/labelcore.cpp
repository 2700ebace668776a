// Test driver: runs label operations in order against the registry of this machine, then
// prints the table of labelled letters.
#include <cstdio>
#include <cstring>

#include "core/reader_drive_labels.h"
#include "win32/win32_registry.h"
#include "win32/win32_system.h"

namespace {

int Usage() {
    std::printf("usage: labelcore [reload|clear|scan|arrival|release]...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    kqm::Win32Registry registry;
    kqm::Win32DriveTypes drives;
    kqm::Win32TextConverter text;
    kqm::ReaderDriveLabels labels(registry, drives, text);

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "reload") != 0 && std::strcmp(argv[i], "clear") != 0 &&
            std::strcmp(argv[i], "scan") != 0 && std::strcmp(argv[i], "arrival") != 0 &&
            std::strcmp(argv[i], "release") != 0) {
            return Usage();
        }
    }
    for (int i = 1; i < argc; ++i) {
        const char* operation = argv[i];
        if (std::strcmp(operation, "reload") == 0) {
            labels.ReloadDriveSlots();
        } else if (std::strcmp(operation, "clear") == 0) {
            labels.ClearDriveLabels();
        } else if (std::strcmp(operation, "scan") == 0) {
            labels.scanStartLetter = 'D';
            labels.LabelReaderDrives(true);
        } else if (std::strcmp(operation, "arrival") == 0) {
            labels.scanStartLetter = 'D';
            labels.LabelReaderDrives(false);
        } else {
            labels.ReleaseDriveLabel();
        }
    }

    for (const kqm::DriveSlot& slot : labels.driveSlots) {
        if (slot.letter == 0) continue;
        char keyPath[160];
        std::snprintf(keyPath, sizeof keyPath, "%s%c\\DefaultLabel", kqm::kDriveIconsPath,
                      slot.letter);
        char label[kqm::kRegistryBufferSize + 1] = {};
        kqm::ScopedKey key(registry);
        std::uint32_t size = kqm::kRegistryBufferSize;
        if (key.Open(keyPath) == kqm::kErrorSuccess &&
            registry.QueryValue(key.get(), nullptr, nullptr, reinterpret_cast<std::uint8_t*>(label),
                                &size) != kqm::kErrorSuccess) {
            label[0] = '\0';
        }
        std::printf("%c: %s\n", slot.letter, label);
    }
    return 0;
}
