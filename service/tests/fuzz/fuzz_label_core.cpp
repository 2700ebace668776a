// Builds a hostile registry and drive types from the input, runs the label operations in any
// order and checks what must always hold: a valid table, no handle left open, and no write
// outside the DriveIcons letter keys.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/reader_drive_labels.h"
#include "core/reader_models.h"
#include "testing/device_records.h"
#include "testing/drive_type_table.h"
#include "testing/memory_registry.h"

namespace {

using kqm::MemoryRegistry;

const std::string kIcons = kqm::kDriveIconsPath;
const std::string kUsbStor = std::string(kqm::kUsbStorPath) + "\\";

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "invariant broken: %s: %s\n", what, detail.c_str());
    std::abort();
}

std::string Pick(FuzzedDataProvider& in, const std::vector<std::string>& pool) {
    return pool[in.ConsumeIntegralInRange<std::size_t>(0, pool.size() - 1)];
}

std::vector<std::uint8_t> Text(const std::string& text, bool terminated) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    if (terminated) data.push_back(0);
    return data;
}

struct World {
    std::vector<std::string> prefixes{"7&1f2e3d4c&0", "7&1F2E3D4C&1", "", "7", "a#b"};
    std::vector<std::string> devices;
    std::vector<std::string> labels{"SD Card Drive", "Compact Flash Drive", "sd card drive", ""};

    explicit World(FuzzedDataProvider& in) {
        for (const auto& model : kqm::ReaderModelTable)
            devices.emplace_back(model.deviceIdFragment);
        devices.emplace_back("Disk&Ven_Generic&Prod_Flash");
        devices.emplace_back("disk&ven_k-q_miro&prod_sd_media_port");
        prefixes.push_back(in.ConsumeRandomLengthString(300));
        devices.push_back(in.ConsumeRandomLengthString(300));
        labels.push_back(in.ConsumeRandomLengthString(300));
    }
};

char Letter(FuzzedDataProvider& in) {
    // Mostly drive letters, sometimes any byte.
    return in.ConsumeBool() ? static_cast<char>('A' + in.ConsumeIntegralInRange(0, 25))
                            : in.ConsumeIntegral<char>();
}

void AddEntry(FuzzedDataProvider& in, World& world, MemoryRegistry& registry) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0: {  // a mounted-device record
            const std::string name = std::string("\\DosDevices\\") + Letter(in) + ":";
            std::vector<std::uint8_t> data;
            if (in.ConsumeBool()) {
                const std::string volume = in.ConsumeBool() ? "\\??\\STORAGE#RemovableMedia#" : "";
                data = kqm::Utf16Bytes(
                    volume + Pick(in, world.prefixes) + "&RM#" + in.ConsumeRandomLengthString(200),
                    in.ConsumeBool());
            } else {
                data = Text(in.ConsumeRandomLengthString(400), false);
            }
            registry.SetValueAt("SYSTEM\\MountedDevices", name, in.ConsumeIntegral<std::uint32_t>(),
                                data);
            break;
        }
        case 1: {  // a USB mass-storage instance
            const std::string device = Pick(in, world.devices) + in.ConsumeRandomLengthString(20);
            const std::string path = kUsbStor + device + "\\" + in.ConsumeRandomLengthString(280);
            if (in.ConsumeBool()) {
                registry.SetValueAt(path, "ParentIdPrefix", in.ConsumeIntegral<std::uint32_t>(),
                                    Text(Pick(in, world.prefixes), in.ConsumeBool()));
            } else {
                registry.CreateKeyAt(path);
            }
            break;
        }
        case 2: {  // a label, marked or not
            const std::string letterKey = kIcons + Letter(in);
            const std::string label = Pick(in, world.labels);
            if (in.ConsumeBool())
                registry.SetValueAt(letterKey, "KQMHMD", 1, Text(label, in.ConsumeBool()));
            if (in.ConsumeBool()) {
                registry.SetValueAt(letterKey + "\\DefaultLabel", "",
                                    in.ConsumeIntegral<std::uint32_t>(),
                                    Text(label, in.ConsumeBool()));
            }
            if (in.ConsumeBool())
                registry.CreateKeyAt(letterKey + "\\" + Pick(in, {"DefaultIcon", "Shell"}));
            break;
        }
        case 3:  // the whole USBSTOR key goes
            registry.DeleteTreeAt(kqm::kUsbStorPath);
            break;
        default:  // anything anywhere
            registry.SetValueAt(in.ConsumeRandomLengthString(80), in.ConsumeRandomLengthString(20),
                                in.ConsumeIntegral<std::uint32_t>(),
                                Text(in.ConsumeRandomLengthString(300), false));
            break;
    }
}

bool IsPrefixOf(const std::string& a, const std::string& b) {
    return a.size() <= b.size() && kqm::EqualsIgnoringCase(a, b.substr(0, a.size()));
}

// Our writes: the DriveIcons letter keys and their two subkeys, the keys above them, and the
// USBSTOR key that the lookup creates when it is missing.
void CheckMutation(const MemoryRegistry::Mutation& m) {
    using Op = MemoryRegistry::Operation;
    if (m.operation == Op::Create &&
        (IsPrefixOf(m.keyPath, kIcons) || IsPrefixOf(m.keyPath, kUsbStor))) {
        return;
    }
    if (!IsPrefixOf(kIcons, m.keyPath)) Fail("write outside DriveIcons", m.keyPath);
    const std::string rest = m.keyPath.substr(kIcons.size());
    // Key names compare without regard to case: an existing "e" key is E's letter key.
    const char letter =
        static_cast<char>(rest.empty() ? 0 : std::toupper(static_cast<unsigned char>(rest[0])));
    if (letter < 'D' || letter > 'Z') {
        Fail("write to a letter outside D..Z", m.keyPath);
    }
    const std::string subkey = rest.substr(1);
    const bool letterKey = subkey.empty();
    const bool labelKey = kqm::EqualsIgnoringCase(subkey, "\\DefaultLabel");
    const bool iconKey = kqm::EqualsIgnoringCase(subkey, "\\DefaultIcon");
    switch (m.operation) {
        case Op::Set:
            if (m.type != kqm::kRegSz) Fail("a value that is no REG_SZ", m.keyPath);
            if (!(letterKey && m.valueName == "KQMHMD") && !(labelKey && m.valueName.empty())) {
                Fail("an unexpected value", m.keyPath + " " + m.valueName);
            }
            break;
        case Op::Delete:
            if (!letterKey && !labelKey && !iconKey) Fail("an unexpected deletion", m.keyPath);
            break;
        default:
            if (!letterKey && !labelKey) Fail("an unexpected key", m.keyPath);
            break;
    }
}

void CheckTable(const kqm::ReaderDriveLabels& labels) {
    std::string seen;
    for (const kqm::DriveSlot& slot : labels.driveSlots) {
        if (slot.letter == 0) continue;
        if (slot.letter < 'D' || slot.letter > 'Z')
            Fail("a letter outside D..Z", std::string(1, slot.letter));
        if (seen.find(slot.letter) != std::string::npos) Fail("a letter twice", seen + slot.letter);
        seen += slot.letter;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    MemoryRegistry registry;
    kqm::DriveTypeTable drives;
    kqm::AsciiTextConverter text;
    World world(in);

    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        drives.Set(letter, in.ConsumeIntegralInRange<unsigned>(0, 6));
    }
    const int entries = in.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < entries; ++i) AddEntry(in, world, registry);

    kqm::ReaderDriveLabels labels(registry, drives, text);
    registry.ClearMutations();
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0:
                labels.ReloadDriveSlots();
                break;
            case 1:
                labels.ClearDriveLabels();
                break;
            case 2:
                labels.scanStartLetter = 'D';
                labels.LabelReaderDrives(true);
                break;
            case 3:
                labels.scanStartLetter = 'D';
                labels.LabelReaderDrives(false);
                break;
            case 4:
                labels.ReleaseDriveLabel();
                break;
            case 5:
                drives.Set(Letter(in), in.ConsumeIntegralInRange<unsigned>(0, 6));
                break;
            case 6: {
                // The world changes underneath: not our writes, so kept out of the log.
                AddEntry(in, world, registry);
                break;
            }
            default: {
                const int failEvery = in.ConsumeIntegralInRange(0, 5);
                if (failEvery == 0) {
                    registry.SetFailureHook(nullptr);
                } else {
                    auto counter = std::make_shared<int>(0);
                    registry.SetFailureHook(
                        [counter, failEvery](MemoryRegistry::Operation, const char*) {
                            return ++*counter % failEvery == 0 ? kqm::kErrorAccessDenied
                                                               : kqm::kErrorSuccess;
                        });
                }
                break;
            }
        }
        CheckTable(labels);
        if (registry.openHandleCount() != 0)
            Fail("a key left open", std::to_string(registry.openHandleCount()));
        for (const auto& mutation : registry.mutations()) CheckMutation(mutation);
        registry.ClearMutations();
    }
    return 0;
}
