// The labelling scan, the reader-instance lookup and the release, on .reg fixtures loaded into
// the in-memory registry.
#include "core/reader_drive_labels.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "testing/device_records.h"
#include "testing/drive_type_table.h"
#include "testing/memory_registry.h"
#include "testing/reg_file.h"

namespace kqm {
namespace {

const std::string kIcons = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\";
const std::string kUsbStor = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\";
const char* const kSdDevice = "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-SD_Unit&Rev_1.00";
const char* const kCfDevice = "Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port&Rev_1.00";

class LabelCoreTest : public ::testing::Test {
  protected:
    void Load(const char* fixture) {
        const RegLoadResult result =
            LoadRegFile(std::string(KQ_FIXTURES_DIR) + "/" + fixture, registry);
        ASSERT_TRUE(result.ok) << fixture << ": " << result.message;
    }
    void Mount(char letter, const std::vector<std::uint8_t>& data,
               unsigned type = kDriveRemovable) {
        registry.SetValueAt("SYSTEM\\MountedDevices", std::string("\\DosDevices\\") + letter + ":",
                            kRegBinary, data);
        drives.Set(letter, type);
    }
    void MountReaderSlot(char letter, const std::string& prefix, bool terminated = false) {
        Mount(letter, Utf16Bytes(RemovableVolumeName(prefix), terminated));
    }
    void AddInstance(const std::string& device, const std::string& instance,
                     const std::string& parentIdPrefix) {
        registry.SetStringAt(kUsbStor + device + "\\" + instance, "ParentIdPrefix", parentIdPrefix);
    }
    void Mark(char letter, const std::string& label) {
        registry.SetStringAt(kIcons + letter, "KQMHMD", label);
        registry.SetStringAt(kIcons + letter + "\\DefaultLabel", "", label);
    }
    void StartUp() {
        labels.ReloadDriveSlots();
        labels.ClearDriveLabels();
        labels.scanStartLetter = 'D';
        labels.LabelReaderDrives(true);
    }
    // The table as one character per entry, '.' for a free one, trailing free entries dropped.
    std::string Table() const {
        std::string table;
        for (const DriveSlot& slot : labels.driveSlots) table += slot.letter ? slot.letter : '.';
        return table.erase(table.find_last_not_of('.') + 1);
    }
    std::optional<std::string> Text(const std::string& path, const char* name) const {
        const auto value = registry.GetValueAt(path, name);
        if (!value) return std::nullopt;
        EXPECT_EQ(value->type, kRegSz) << path;
        EXPECT_FALSE(value->data.empty());
        if (!value->data.empty()) {
            EXPECT_EQ(value->data.back(), 0) << path << " lacks its NUL";
        }
        return std::string(value->data.begin(), value->data.end() - 1);
    }
    std::optional<std::string> Label(char letter) const {
        return Text(kIcons + letter + "\\DefaultLabel", "");
    }
    std::optional<std::string> Marker(char letter) const { return Text(kIcons + letter, "KQMHMD"); }
    bool HasLetterKey(char letter) const { return registry.KeyExists(kIcons + letter); }

    MemoryRegistry registry;
    DriveTypeTable drives;
    AsciiTextConverter text;
    ReaderDriveLabels labels{registry, drives, text};
};

// What the Wine test shows on the real registry, from the same fixtures.
TEST_F(LabelCoreTest, StartUpLabelsTheReaderSlotsAndRemovesOnlyOurStaleLabels) {
    Load("sample_reader.reg");
    Load("labels_left_over.reg");
    for (char letter : std::string("EFGHI")) drives.Set(letter, kDriveRemovable);
    drives.Set('J', kDriveFixed);

    StartUp();

    EXPECT_EQ(Table(), "EFGH");
    const std::pair<char, const char*> expected[] = {{'E', "Compact Flash Drive"},
                                                     {'F', "SD Card Drive"},
                                                     {'G', "Memory Stick Drive"},
                                                     {'H', "xD Card Drive"}};
    for (const auto& [letter, label] : expected) {
        EXPECT_EQ(Label(letter), label) << letter;
        EXPECT_EQ(Marker(letter), label) << letter;
    }
    EXPECT_FALSE(HasLetterKey('I')) << "another maker's stick";
    EXPECT_FALSE(HasLetterKey('J')) << "a fixed disk";
    EXPECT_FALSE(HasLetterKey('L')) << "the stale label of an earlier run";
    EXPECT_EQ(Label('K'), "SD Card Drive") << "the user's own label";
    EXPECT_EQ(Label('N'), "sd card drive") << "a marked label we never write";
    EXPECT_EQ(Marker('M'), "Memory Stick Drive") << "the letter key with a foreign subkey";
    EXPECT_FALSE(registry.KeyExists(kIcons + "M\\DefaultLabel"));
    EXPECT_TRUE(registry.KeyExists(kIcons + "M\\Shell"));
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

struct LookupCase {
    const char* name;
    std::vector<std::uint8_t> mountedDevice;
    std::vector<std::uint8_t> parentIdPrefix;  // data of the instance's ParentIdPrefix
    std::uint32_t parentIdPrefixType;
    bool labelled;
};

std::vector<std::uint8_t> Bytes(const std::string& text, bool terminated = true) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    if (terminated) data.push_back(0);
    return data;
}

TEST_F(LabelCoreTest, LookupMatchesTheParentIdPrefixOfTheMountedDevice) {
    const std::string volume = RemovableVolumeName("7&1f2e3d4c&0");
    std::vector<std::uint8_t> oddLength = Utf16Bytes(volume, false);
    oddLength.push_back('x');
    std::vector<std::uint8_t> longest = Utf16Bytes(volume, true);
    longest.resize(260, 0);
    std::vector<std::uint8_t> tooLong = longest;
    tooLong.push_back(0);
    const std::string longPrefix(260, 'a');

    const std::vector<LookupCase> cases = {
        {"unterminated UTF-16", Utf16Bytes(volume, false), Bytes("7&1F2E3D4C&0"), kRegSz, true},
        {"terminated UTF-16", Utf16Bytes(volume, true), Bytes("7&1F2E3D4C&0"), kRegSz, true},
        {"an odd last byte", oddLength, Bytes("7&1f2e3d4c&0"), kRegSz, true},
        {"data of exactly 260 bytes", longest, Bytes("7&1f2e3d4c&0"), kRegSz, true},
        {"data over 260 bytes", tooLong, Bytes("7&1f2e3d4c&0"), kRegSz, false},
        {"another instance", Utf16Bytes(volume, false), Bytes("7&1f2e3d4c&1"), kRegSz, false},
        {"ParentIdPrefix without NUL", Utf16Bytes(volume, false), Bytes("7&1f2e3d4c&0", false),
         kRegSz, true},
        {"ParentIdPrefix of another type", Utf16Bytes(volume, false), Bytes("7&1f2e3d4c&0"),
         kRegBinary, true},
        {"ParentIdPrefix over 260 bytes", Utf16Bytes(volume, false), Bytes(longPrefix), kRegSz,
         false},
        {"no RemovableMedia", Utf16Bytes("\\??\\STORAGE#Volume#7&1f2e3d4c&0&RM#x", false),
         Bytes("7&1f2e3d4c&0"), kRegSz, false},
        {"removablemedia in other case",
         Utf16Bytes("\\??\\STORAGE#removablemedia#7&1f2e3d4c&0&RM", false), Bytes("7&1f2e3d4c&0"),
         kRegSz, false},
        {"no & gives an empty prefix", Utf16Bytes("\\??\\STORAGE#RemovableMedia#7", false),
         Bytes(""), kRegSz, true},
        {"no & never equals a real prefix", Utf16Bytes("\\??\\STORAGE#RemovableMedia#7", false),
         Bytes("7"), kRegSz, false},
        {"no # after RemovableMedia: the whole cut text",
         Utf16Bytes("\\??\\STORAGE#RemovableMedia&0&RM", false),
         Bytes("\\??\\STORAGE#RemovableMedia&0"), kRegSz, true},
        {"RemovableMedia after the last &", Utf16Bytes("\\??\\a#b&c#RemovableMedia#x", false),
         Bytes("\\??\\a#b"), kRegSz, true},
        {"empty mounted-device data", {}, Bytes(""), kRegSz, false},
        {"a NUL first", Utf16Bytes(std::string(1, '\0') + volume, false), Bytes(""), kRegSz, false},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        registry.Clear();
        labels.driveSlots = {};
        Mount('E', c.mountedDevice);
        registry.SetValueAt(kUsbStor + kSdDevice + "\\0001&0", "ParentIdPrefix",
                            c.parentIdPrefixType, c.parentIdPrefix);

        labels.scanStartLetter = 'D';
        labels.LabelReaderDrives(true);

        EXPECT_EQ(Table(), c.labelled ? "E" : "");
        EXPECT_EQ(Label('E'),
                  c.labelled ? std::optional<std::string>("SD Card Drive") : std::nullopt);
        EXPECT_EQ(registry.openHandleCount(), 0u);
    }
}

TEST_F(LabelCoreTest, DeviceKeySearchGoesOnPastKeysThatDoNotMatch) {
    MountReaderSlot('E', "7&aa&0");
    // A supported model in other letter case, one whose instances do not match, an unsupported
    // device: none ends the search; the last key holds the match.
    AddInstance("disk&ven_k-q_miro&prod_cf_media_port&rev_2.00", "1&0", "7&aa&0");
    AddInstance("Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port&Rev_1.00", "1&0", "7&bb&0");
    AddInstance("Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port&Rev_1.00", "2&0", "7&bb&1");
    AddInstance("Disk&Ven_Generic&Prod_Flash", "1&0", "7&aa&0");
    AddInstance("Disk&Ven_K-Q_MIRO&Prod_SD_Media_Port&Rev_1.00", "1&0", "7&cc&0");
    AddInstance("Disk&Ven_K-Q_MIRO&Prod_SD_Media_Port&Rev_1.00", "2&0", "7&AA&0");

    char instancePath[kInstancePathSize] = {};
    ASSERT_TRUE(labels.FindReaderInstance('E', instancePath));
    EXPECT_STREQ(instancePath,
                 (kUsbStor + "Disk&Ven_K-Q_MIRO&Prod_SD_Media_Port&Rev_1.00\\2&0").c_str());

    labels.LabelReaderDrives(true);
    EXPECT_EQ(Label('E'), "SD Card Drive");
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

TEST_F(LabelCoreTest, InstanceWithoutParentIdPrefixIsPassedOver) {
    MountReaderSlot('E', "7&aa&0");
    registry.CreateKeyAt(kUsbStor + kCfDevice + "\\0&0");
    AddInstance(kCfDevice, "1&0", "7&aa&0");
    labels.LabelReaderDrives(true);
    EXPECT_EQ(Label('E'), "Compact Flash Drive");
}

TEST_F(LabelCoreTest, MissingUsbStorKeyIsCreatedEmptyAndNothingIsLabelled) {
    MountReaderSlot('E', "7&aa&0");
    labels.LabelReaderDrives(true);
    EXPECT_TRUE(registry.KeyExists(kUsbStor.substr(0, kUsbStor.size() - 1)));
    EXPECT_TRUE(registry.SubkeyNames(kUsbStor.substr(0, kUsbStor.size() - 1)).empty());
    EXPECT_EQ(Table(), "");
    EXPECT_FALSE(registry.KeyExists(kIcons.substr(0, kIcons.size() - 1)));
}

TEST_F(LabelCoreTest, ScanVisitsRemovableLettersFromTheStartLetterOnly) {
    // Reader slots on every letter; A, B and C, and letters of other drive types, stay unlabelled.
    for (char letter = 'A'; letter <= 'J'; ++letter) {
        const std::string prefix = std::string("7&aa&") + letter;
        MountReaderSlot(letter, prefix);
        AddInstance(kCfDevice, std::string("i") + letter, prefix);
    }
    drives.Set('F', kDriveFixed);
    drives.Set('G', kDriveCdrom);
    drives.Set('H', kDriveRemote);
    drives.Set('I', kDriveNoRootDir);

    labels.scanStartLetter = 'D';
    labels.LabelReaderDrives(true);
    EXPECT_EQ(Table(), "DEJ");
    for (char letter : std::string("ABCFGHI")) EXPECT_FALSE(HasLetterKey(letter)) << letter;
}

TEST_F(LabelCoreTest, OtherDriveTypesCauseNoRegistryAccess) {
    for (unsigned type :
         {kDriveUnknown, kDriveNoRootDir, kDriveFixed, kDriveRemote, kDriveCdrom, kDriveRamdisk}) {
        drives.SetAll(type);
        registry.ResetCallCounts();
        labels.LabelReaderDrives(true);
        EXPECT_EQ(registry.callCounts().total, 0u) << "drive type " << type;
    }
}

TEST_F(LabelCoreTest, ArrivalLabelsOneLetterAndTheNextCallTheNext) {
    MountReaderSlot('F', "7&aa&0");
    MountReaderSlot('H', "7&aa&1");
    AddInstance(kCfDevice, "0", "7&aa&0");
    AddInstance(kSdDevice, "1", "7&aa&1");

    labels.LabelReaderDrives(false);
    EXPECT_EQ(Table(), "F");
    EXPECT_FALSE(HasLetterKey('H'));
    labels.LabelReaderDrives(false);
    EXPECT_EQ(Table(), "FH");
    EXPECT_EQ(Label('H'), "SD Card Drive");

    labels.driveSlots = {};
    labels.driveSlots[0].letter = 'X';
    labels.LabelReaderDrives(true);
    EXPECT_EQ(Table(), "XFH") << "the lowest free entries, F in the lower one";
}

TEST_F(LabelCoreTest, LetterInTheTableIsNotLookedAtAgain) {
    MountReaderSlot('E', "7&aa&0");
    AddInstance(kCfDevice, "0", "7&aa&0");
    labels.LabelReaderDrives(true);
    registry.DeleteTreeAt(kIcons + "E");  // somebody else deletes our label

    registry.ResetCallCounts();
    labels.LabelReaderDrives(true);
    EXPECT_EQ(registry.callCounts().total, 0u);
    EXPECT_FALSE(HasLetterKey('E'));
    EXPECT_EQ(Table(), "E");
}

TEST_F(LabelCoreTest, ScanOverwritesAForeignLabelAndAddsTheMarker) {
    MountReaderSlot('E', "7&aa&0");
    AddInstance(kCfDevice, "0", "7&aa&0");
    registry.SetStringAt(kIcons + "E\\DefaultLabel", "", "Holiday photos");
    labels.LabelReaderDrives(true);
    EXPECT_EQ(Label('E'), "Compact Flash Drive");
    EXPECT_EQ(Marker('E'), "Compact Flash Drive");
}

TEST_F(LabelCoreTest, FullTableLeavesAFurtherLetterUnlabelled) {
    MountReaderSlot('Z', "7&aa&0");
    AddInstance(kCfDevice, "0", "7&aa&0");
    for (std::size_t i = 0; i < kDriveSlotCount; ++i) {
        labels.driveSlots[i].letter = static_cast<char>('D' + i);
    }
    registry.ClearMutations();
    labels.LabelReaderDrives(true);
    EXPECT_EQ(labels.driveSlots.back().letter, 'W');
    EXPECT_FALSE(HasLetterKey('Z'));
    for (const auto& mutation : registry.mutations()) {
        EXPECT_EQ(mutation.keyPath.find(kIcons), std::string::npos) << mutation.keyPath;
    }
}

TEST_F(LabelCoreTest, SetRegistryStringCreatesTheWholePathAndStoresTheNul) {
    labels.SetRegistryString((kIcons + "G\\DefaultLabel").c_str(), nullptr, "xD/SM Drive");
    labels.SetRegistryString((kIcons + "G").c_str(), "KQMHMD", "xD/SM Drive");
    const auto value = registry.GetValueAt(kIcons + "G\\DefaultLabel", "");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, kRegSz);
    EXPECT_EQ(value->data, Bytes("xD/SM Drive"));
    EXPECT_EQ(Marker('G'), "xD/SM Drive");
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

TEST_F(LabelCoreTest, ReloadAdoptsMarkedLettersWithAKnownLabelInLetterOrder) {
    Mark('F', "SD Card Drive");
    Mark('E', "xD Card Drive");
    Mark('H', "MS Duo Drive");
    Mark('A', "SD Card Drive");  // A to C are never looked at
    Mark('I', "sd card drive");  // known only in other case
    registry.SetStringAt(kIcons + "J\\DefaultLabel", "", "SD Card Drive");  // no marker
    registry.SetStringAt(kIcons + "K", "KQMHMD", "SD Card Drive");          // no DefaultLabel
    Mark('L', "SD Card Drive");
    registry.SetValueAt(kIcons + "L", "KQMHMD", kRegSz, std::vector<std::uint8_t>(261, 'x'));
    Mark('M', "SD Card Drive");
    registry.SetValueAt(kIcons + "M", "KQMHMD", kRegDword, {1, 0, 0, 0});  // type is not examined
    labels.driveSlots[5].letter = 'Q';                                     // replaced as a whole

    labels.ReloadDriveSlots();
    EXPECT_EQ(Table(), "EFHM");
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

TEST_F(LabelCoreTest, ReloadNeverWritesBeyondTheTwentiethEntry) {
    for (char letter = 'D'; letter <= 'Z'; ++letter) Mark(letter, "SD Card Drive");
    labels.ReloadDriveSlots();
    EXPECT_EQ(Table(), "DEFGHIJKLMNOPQRSTUVW");
    labels.ClearDriveLabels();
    EXPECT_EQ(Table(), "");
    EXPECT_FALSE(HasLetterKey('W'));
    EXPECT_EQ(Marker('X'), "SD Card Drive") << "unrecorded letters keep their keys";
}

TEST_F(LabelCoreTest, ClearDeletesIconLabelAndLetterKeyFromTheHighestEntry) {
    Mark('E', "SD Card Drive");
    registry.CreateKeyAt(kIcons + "E\\DefaultIcon");
    Mark('G', "SD Card Drive");
    labels.driveSlots[0].letter = 'E';
    labels.driveSlots[7].letter = 'G';
    registry.ClearMutations();

    labels.ClearDriveLabels();

    std::vector<std::string> deleted;
    for (const auto& mutation : registry.mutations()) deleted.push_back(mutation.keyPath);
    EXPECT_EQ(deleted, (std::vector<std::string>{kIcons + "G\\DefaultLabel", kIcons + "G",
                                                 kIcons + "E\\DefaultIcon",
                                                 kIcons + "E\\DefaultLabel", kIcons + "E"}));
    EXPECT_EQ(Table(), "");
    EXPECT_TRUE(registry.KeyExists(kIcons.substr(0, kIcons.size() - 1)));

    registry.ResetCallCounts();
    labels.ClearDriveLabels();
    EXPECT_EQ(registry.callCounts().total, 0u) << "an empty table touches no key";
}

TEST_F(LabelCoreTest, ReleaseFreesOneGoneEntryPerCallFromTheHighest) {
    Load("sample_reader.reg");
    for (char letter : std::string("EFGH")) drives.Set(letter, kDriveRemovable);
    StartUp();
    ASSERT_EQ(Table(), "EFGH");

    // E's volume goes and G's drive letter with it; F and H stay reader slots.
    registry.DeleteValueAt("SYSTEM\\MountedDevices", "\\DosDevices\\E:");
    drives.Set('G', kDriveNoRootDir);
    labels.ReleaseDriveLabel();
    EXPECT_EQ(Table(), "EF.H") << "the higher entry first";
    EXPECT_FALSE(HasLetterKey('G'));
    EXPECT_EQ(Label('E'), "Compact Flash Drive");
    labels.ReleaseDriveLabel();
    EXPECT_EQ(Table(), ".F.H");
    EXPECT_FALSE(HasLetterKey('E'));
    labels.ReleaseDriveLabel();
    EXPECT_EQ(Table(), ".F.H") << "reader slots stay";

    drives.Set('F', kDriveFixed);  // F's letter now names a fixed disk
    labels.ReleaseDriveLabel();
    EXPECT_EQ(Table(), "...H");
    EXPECT_FALSE(HasLetterKey('F'));
    EXPECT_EQ(Label('H'), "xD Card Drive");
}

TEST_F(LabelCoreTest, ReleaseFreesALetterWhoseRecordNowLeadsToAnotherDevice) {
    Load("sample_reader.reg");
    for (char letter : std::string("EFGHI")) drives.Set(letter, kDriveRemovable);
    StartUp();
    const auto stick = registry.GetValueAt("SYSTEM\\MountedDevices", "\\DosDevices\\I:");
    ASSERT_TRUE(stick);
    registry.SetValueAt("SYSTEM\\MountedDevices", "\\DosDevices\\F:", kRegBinary, stick->data);

    labels.ReleaseDriveLabel();
    EXPECT_EQ(Table(), "E.GH");
    EXPECT_FALSE(HasLetterKey('F'));
}

TEST_F(LabelCoreTest, LetterKeyWithAForeignSubkeySurvivesItsRelease) {
    Mark('E', "SD Card Drive");
    registry.CreateKeyAt(kIcons + "E\\DefaultIcon");
    registry.CreateKeyAt(kIcons + "E\\Shell");
    labels.ReloadDriveSlots();
    labels.ReleaseDriveLabel();  // no drive on E
    EXPECT_EQ(Table(), "");
    EXPECT_FALSE(registry.KeyExists(kIcons + "E\\DefaultIcon"));
    EXPECT_FALSE(registry.KeyExists(kIcons + "E\\DefaultLabel"));
    EXPECT_EQ(Marker('E'), "SD Card Drive");
}

TEST_F(LabelCoreTest, EveryRegistryAccessFailingLabelsNothing) {
    Load("sample_reader.reg");
    for (char letter : std::string("EFGH")) drives.Set(letter, kDriveRemovable);
    Mark('E', "SD Card Drive");
    registry.SetFailureHook(
        [](MemoryRegistry::Operation, const char*) { return kErrorAccessDenied; });
    StartUp();
    labels.ReleaseDriveLabel();
    registry.SetFailureHook(nullptr);
    EXPECT_EQ(Table(), "");
    EXPECT_EQ(Marker('E'), "SD Card Drive");
    EXPECT_FALSE(HasLetterKey('F'));
}

TEST_F(LabelCoreTest, LongAndOddSubkeyNamesAreHandledSafely) {
    MountReaderSlot('E', "7&aa&0");
    // A device key name too long for the 260-byte buffer ends the device key search.
    AddInstance(std::string(300, 'k') + "Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port", "0", "7&aa&0");
    labels.LabelReaderDrives(true);
    EXPECT_EQ(Table(), "");

    registry.Clear();
    MountReaderSlot('E', "7&aa&0");
    // The longest names that fit: instance paths far beyond 260 bytes.
    const std::string device =
        std::string("Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port") + std::string(223, '\xff');
    AddInstance(device, std::string(259, '#'), "7&aa&0");
    labels.LabelReaderDrives(true);
    EXPECT_EQ(Label('E'), "Compact Flash Drive");
}

}  // namespace
}  // namespace kqm
