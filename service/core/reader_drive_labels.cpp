// The labelling scan, the reader-instance lookup and the release of labels.
#include "core/reader_drive_labels.h"

#include <cstdio>
#include <cstring>

#include "core/reader_models.h"

namespace kqm {
namespace {

constexpr std::uint32_t kBufferSize = kRegistryBufferSize;

// A letter key path ("...\DriveIcons\E") with an optional subkey; always fits.
using LetterKeyPath = char[160];

void FormatLetterKey(LetterKeyPath& path, char letter, const char* subkey) {
    std::snprintf(path, sizeof path, "%s%c%s", kDriveIconsPath, letter, subkey);
}

// Reads a value into a 260-byte buffer as text that ends at its first NUL or at the end of the
// data. False when the value is absent or does not fit.
bool ReadValueText(Registry& registry, RegKey key, const char* name,
                   char (&text)[kRegistryBufferSize + 1]) {
    std::uint8_t data[kRegistryBufferSize] = {};
    std::uint32_t size = kBufferSize;
    if (registry.QueryValue(key, name, nullptr, data, &size) != kErrorSuccess) return false;
    if (size > kBufferSize) return false;
    std::memcpy(text, data, size);
    text[size] = '\0';
    return true;
}

// Enumerates one subkey of path, opening and closing the key around it.
bool EnumerateSubkey(Registry& registry, const char* path, std::uint32_t index,
                     char (&name)[kRegistryBufferSize]) {
    ScopedKey key(registry);
    if (key.Create(path, KeyAccess::Read) != kErrorSuccess) return false;
    std::memset(name, 0, sizeof name);
    std::uint32_t length = kBufferSize;
    if (registry.EnumKey(key.get(), index, name, &length) != kErrorSuccess) return false;
    name[kRegistryBufferSize - 1] = '\0';
    return true;
}

bool EqualIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const auto ca = static_cast<unsigned char>(*a);
        const auto cb = static_cast<unsigned char>(*b);
        const auto la = (ca >= 'A' && ca <= 'Z') ? ca + ('a' - 'A') : ca;
        const auto lb = (cb >= 'A' && cb <= 'Z') ? cb + ('a' - 'A') : cb;
        if (la != lb) return false;
        if (ca == '\0') return true;
    }
}

// The parent-ID prefix of a mounted-device text: false when it holds no "RemovableMedia".
// The prefix is never longer than the text, so a buffer of the text's size holds it.
bool ExtractParentIdPrefix(const char* text, char* prefix) {
    const char* removable = std::strstr(text, "RemovableMedia");
    if (removable == nullptr) return false;
    const char* lastAmpersand = std::strrchr(text, '&');
    const std::size_t cutLength =
        lastAmpersand != nullptr ? static_cast<std::size_t>(lastAmpersand - text) : 0;
    const auto removableAt = static_cast<std::size_t>(removable - text);

    std::size_t start = 0;
    if (removableAt < cutLength) {
        const void* hash = std::memchr(removable, '#', cutLength - removableAt);
        if (hash != nullptr)
            start = static_cast<std::size_t>(static_cast<const char*>(hash) - text) + 1;
    }
    std::memcpy(prefix, text + start, cutLength - start);
    prefix[cutLength - start] = '\0';
    return true;
}

}  // namespace

ReaderDriveLabels::ReaderDriveLabels(Registry& registry, DriveTypeSource& drives,
                                     TextConverter& text)
    : registry_(registry), drives_(drives), text_(text) {}

bool ReaderDriveLabels::IsInDriveSlots(char letter) const {
    for (const DriveSlot& slot : driveSlots) {
        if (slot.letter == letter) return true;
    }
    return false;
}

bool ReaderDriveLabels::IsRemovable(char letter) {
    char rootPath[4];
    std::snprintf(rootPath, sizeof rootPath, "%c:\\", letter);
    return drives_.QueryDriveType(rootPath) == kDriveRemovable;
}

bool ReaderDriveLabels::ReadMountedDeviceText(char letter, char* text, std::size_t textSize) {
    std::uint8_t data[kRegistryBufferSize] = {};
    std::uint32_t size = kBufferSize;
    {
        ScopedKey key(registry_);
        if (key.Open(kMountedDevicesPath) != kErrorSuccess) return false;
        char valueName[16];
        std::snprintf(valueName, sizeof valueName, "\\DosDevices\\%c:", letter);
        if (registry_.QueryValue(key.get(), valueName, nullptr, data, &size) != kErrorSuccess) {
            return false;
        }
    }
    if (size > kBufferSize) return false;

    // UTF-16LE up to its first NUL or the end of the data; an odd last byte is no character.
    char16_t units[kRegistryBufferSize / 2];
    int count = 0;
    for (std::uint32_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == u'\0') break;
        units[count++] = unit;
    }
    if (count == 0) {
        text[0] = '\0';
        return true;
    }
    // Leave room for the terminator; a text that fails to convert or does not fit leads nowhere.
    const int written = text_.WideToAnsi(units, count, text, static_cast<int>(textSize - 1));
    if (written <= 0 || static_cast<std::size_t>(written) >= textSize) return false;
    text[written] = '\0';
    return true;
}

bool ReaderDriveLabels::SearchInstances(const char* deviceKeyPath, const char* parentIdPrefix,
                                        char* instancePath) {
    for (std::uint32_t index = 0;; ++index) {
        char name[kRegistryBufferSize];
        if (!EnumerateSubkey(registry_, deviceKeyPath, index, name)) return false;

        char path[kInstancePathSize];
        const int length = std::snprintf(path, sizeof path, "%s\\%s", deviceKeyPath, name);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) continue;

        char value[kRegistryBufferSize + 1];
        {
            ScopedKey instance(registry_);
            if (instance.Open(path) != kErrorSuccess) continue;
            if (!ReadValueText(registry_, instance.get(), "ParentIdPrefix", value)) continue;
        }
        if (EqualIgnoringCase(parentIdPrefix, value)) {
            std::memcpy(instancePath, path, static_cast<std::size_t>(length) + 1);
            return true;
        }
    }
}

bool ReaderDriveLabels::FindReaderInstance(char letter, char* instancePath) {
    char text[kRegistryBufferSize];
    if (!ReadMountedDeviceText(letter, text, sizeof text)) return false;
    char parentIdPrefix[kRegistryBufferSize];
    if (!ExtractParentIdPrefix(text, parentIdPrefix)) return false;

    for (std::uint32_t index = 0;; ++index) {
        char name[kRegistryBufferSize];
        if (!EnumerateSubkey(registry_, kUsbStorPath, index, name)) return false;
        if (FindReaderModelByFragment(name) == nullptr) continue;

        char deviceKeyPath[kInstancePathSize];
        std::snprintf(deviceKeyPath, sizeof deviceKeyPath, "%s\\%s", kUsbStorPath, name);
        if (SearchInstances(deviceKeyPath, parentIdPrefix, instancePath)) return true;
    }
}

void ReaderDriveLabels::SetRegistryString(const char* keyPath, const char* valueName,
                                          const char* text) {
    ScopedKey key(registry_);
    if (key.Create(keyPath, KeyAccess::AllAccess) != kErrorSuccess) return;
    char buffer[kRegistryBufferSize] = {};
    const std::size_t length = strnlen(text, sizeof buffer - 1);
    std::memcpy(buffer, text, length);
    registry_.SetValue(key.get(), valueName, kRegSz, reinterpret_cast<const std::uint8_t*>(buffer),
                       static_cast<std::uint32_t>(length + 1));
}

void ReaderDriveLabels::LabelReaderDrives(bool labelAll) {
    for (int x = static_cast<unsigned char>(scanStartLetter); x <= 'Z'; ++x) {
        const auto letter = static_cast<char>(x);
        if (!IsRemovable(letter)) continue;
        if (IsInDriveSlots(letter)) continue;

        char instancePath[kInstancePathSize];
        if (!FindReaderInstance(letter, instancePath)) continue;

        DriveSlot* freeSlot = nullptr;
        for (DriveSlot& slot : driveSlots) {
            if (slot.letter == 0) {
                freeSlot = &slot;
                break;
            }
        }
        if (freeSlot == nullptr) continue;
        // The instance path holds the device key name, so a row always matches.
        const ReaderModel* model = FindReaderModelByFragment(instancePath);
        if (model == nullptr) continue;
        freeSlot->letter = letter;

        LetterKeyPath labelKey;
        FormatLetterKey(labelKey, letter, "\\DefaultLabel");
        SetRegistryString(labelKey, nullptr, model->label);
        LetterKeyPath letterKey;
        FormatLetterKey(letterKey, letter, "");
        SetRegistryString(letterKey, kLabelMarkerValue, model->label);

        if (!labelAll) return;
    }
}

void ReaderDriveLabels::ReloadDriveSlots() {
    for (DriveSlot& slot : driveSlots) slot.letter = 0;
    std::size_t next = 0;
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        // Once the table is full, further marked letters stay unrecorded (and keep their keys).
        if (next == driveSlots.size()) break;

        char marker[kRegistryBufferSize + 1];
        {
            LetterKeyPath letterKey;
            FormatLetterKey(letterKey, letter, "");
            ScopedKey key(registry_);
            if (key.Open(letterKey) != kErrorSuccess) continue;
            if (!ReadValueText(registry_, key.get(), kLabelMarkerValue, marker)) continue;
        }
        char label[kRegistryBufferSize + 1];
        {
            LetterKeyPath labelKey;
            FormatLetterKey(labelKey, letter, "\\DefaultLabel");
            ScopedKey key(registry_);
            if (key.Open(labelKey) != kErrorSuccess) continue;
            if (!ReadValueText(registry_, key.get(), nullptr, label)) continue;
        }
        if (FindReaderModelByLabel(label) != nullptr) driveSlots[next++].letter = letter;
    }
}

void ReaderDriveLabels::DeleteLabelKeys(char letter) {
    LetterKeyPath path;
    FormatLetterKey(path, letter, "\\DefaultIcon");
    registry_.DeleteKey(path);
    FormatLetterKey(path, letter, "\\DefaultLabel");
    registry_.DeleteKey(path);
    FormatLetterKey(path, letter, "");
    registry_.DeleteKey(path);
}

void ReaderDriveLabels::ClearDriveLabels() {
    for (auto slot = driveSlots.rbegin(); slot != driveSlots.rend(); ++slot) {
        if (slot->letter == 0) continue;
        DeleteLabelKeys(slot->letter);
        slot->letter = 0;
    }
}

void ReaderDriveLabels::ReleaseDriveLabel() {
    for (auto slot = driveSlots.rbegin(); slot != driveSlots.rend(); ++slot) {
        if (slot->letter == 0) continue;
        char instancePath[kInstancePathSize];
        if (IsRemovable(slot->letter) && FindReaderInstance(slot->letter, instancePath)) continue;
        DeleteLabelKeys(slot->letter);
        slot->letter = 0;
        return;
    }
}

}  // namespace kqm
