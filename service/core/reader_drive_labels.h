// Labels the drive letters of reader slots and takes the labels away again.
#pragma once

#include <array>
#include <cstddef>

#include "platform/registry.h"
#include "platform/system.h"

namespace kqm {

// One drive letter whose label keys this service wrote or adopted; letter 0 = free entry.
struct DriveSlot {
    char letter = 0;
};

constexpr std::size_t kDriveSlotCount = 20;

// Explorer's per-letter label keys, below HKEY_LOCAL_MACHINE.
constexpr const char* kDriveIconsPath =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\";
constexpr const char* kMountedDevicesPath = "SYSTEM\\MountedDevices";
constexpr const char* kUsbStorPath = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR";
// The value in a letter key that marks its label as ours.
constexpr const char* kLabelMarkerValue = "KQMHMD";

// Instance key paths join two subkey names to the USBSTOR path, so they may exceed 260 bytes.
constexpr std::size_t kInstancePathSize = 640;

// The label logic of the drive label service. None of it is thread-safe: callers make sure
// that no two operations run at the same time.
class ReaderDriveLabels {
  public:
    ReaderDriveLabels(Registry& registry, DriveTypeSource& drives, TextConverter& text);

    // Labels removable reader-slot letters from scanStartLetter up to Z; with labelAll false it
    // stops after the first newly labelled letter.
    void LabelReaderDrives(bool labelAll);
    // Rebuilds driveSlots from the marked labels in the registry.
    void ReloadDriveSlots();
    // Deletes the label keys of every letter in driveSlots and frees every entry.
    void ClearDriveLabels();
    // Releases at most one entry whose letter no longer leads to a reader slot.
    void ReleaseDriveLabel();

    // The reader-instance lookup: true with the matching instance key path (NUL-terminated,
    // within kInstancePathSize bytes) when the letter's volume lives on a reader slot.
    bool FindReaderInstance(char letter, char* instancePath);
    // Writes a REG_SZ value, creating the key and its missing parents (null name: default).
    void SetRegistryString(const char* keyPath, const char* valueName, const char* text);

    std::array<DriveSlot, kDriveSlotCount> driveSlots{};
    char scanStartLetter = 'D';

  private:
    bool IsInDriveSlots(char letter) const;
    bool IsRemovable(char letter);
    bool ReadMountedDeviceText(char letter, char* text, std::size_t textSize);
    bool SearchInstances(const char* deviceKeyPath, const char* parentIdPrefix, char* instancePath);
    void DeleteLabelKeys(char letter);

    Registry& registry_;
    DriveTypeSource& drives_;
    TextConverter& text_;
};

}  // namespace kqm
