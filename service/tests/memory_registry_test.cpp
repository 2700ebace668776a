#include "testing/memory_registry.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace kqm {
namespace {

constexpr std::uint8_t kFill = 0xbd;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Enumerates every subkey through the interface, reopening the key for each index as the
// label scan does.
std::vector<std::string> EnumerateAll(MemoryRegistry& registry, const char* path) {
    std::vector<std::string> names;
    for (std::uint32_t index = 0;; ++index) {
        ScopedKey key(registry);
        if (key.Open(path) != kErrorSuccess) break;
        std::array<char, kRegistryBufferSize> name{};
        std::uint32_t length = kRegistryBufferSize;
        if (registry.EnumKey(key.get(), index, name.data(), &length) != kErrorSuccess) break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

TEST(MemoryRegistryTest, KeyNamesIgnoreCaseAndKeepTheirCreationCase) {
    MemoryRegistry registry;
    {
        ScopedKey key(registry);
        ASSERT_EQ(key.Create("Software\\Vendor", KeyAccess::AllAccess), kErrorSuccess);
    }
    {
        ScopedKey key(registry);
        EXPECT_EQ(key.Open("SOFTWARE\\vENDOR"), kErrorSuccess);
    }
    {
        ScopedKey key(registry);
        ASSERT_EQ(key.Create("SOFTWARE\\VENDOR\\Sub", KeyAccess::AllAccess), kErrorSuccess);
    }
    EXPECT_EQ(registry.SubkeyNames(""), std::vector<std::string>{"Software"});
    EXPECT_EQ(registry.SubkeyNames("software"), std::vector<std::string>{"Vendor"});
    const auto log = registry.mutations();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2].keyPath, "Software\\Vendor\\Sub");
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

TEST(MemoryRegistryTest, CreateMakesEveryMissingParentAndOpenNeedsAnExistingKey) {
    MemoryRegistry registry;
    RegKey key = 0;
    EXPECT_EQ(registry.OpenKey("A\\B\\C", &key), kErrorFileNotFound);
    EXPECT_EQ(key, 0u);

    ASSERT_EQ(registry.CreateKey("A\\B\\C", KeyAccess::Read, &key), kErrorSuccess);
    EXPECT_NE(key, 0u);
    registry.CloseKey(key);
    EXPECT_TRUE(registry.KeyExists("A"));
    EXPECT_TRUE(registry.KeyExists("a\\b"));
    EXPECT_TRUE(registry.KeyExists("A\\B\\C"));
    EXPECT_FALSE(registry.KeyExists("A\\C"));

    // Creating an existing key opens it and changes nothing.
    ASSERT_EQ(registry.CreateKeyDefaultView("a\\B", &key), kErrorSuccess);
    registry.CloseKey(key);
    const auto log = registry.mutations();
    ASSERT_EQ(log.size(), 3u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].operation, MemoryRegistry::Operation::Create);
    }
    EXPECT_EQ(log[0].keyPath, "A");
    EXPECT_EQ(log[1].keyPath, "A\\B");
    EXPECT_EQ(log[2].keyPath, "A\\B\\C");
}

TEST(MemoryRegistryTest, EmptyPathIsTheRootAndBadPathsAreRefused) {
    MemoryRegistry registry;
    registry.CreateKeyAt("System\\Select");
    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey("", &key), kErrorSuccess);
    std::array<char, kRegistryBufferSize> name{};
    std::uint32_t length = kRegistryBufferSize;
    EXPECT_EQ(registry.EnumKey(key, 0, name.data(), &length), kErrorSuccess);
    EXPECT_STREQ(name.data(), "System");
    registry.CloseKey(key);

    ASSERT_EQ(registry.OpenKey("System\\Select\\", &key), kErrorSuccess);
    registry.CloseKey(key);
    for (const char* bad : {"\\System", "System\\\\Select", "\\"}) {
        SCOPED_TRACE(bad);
        key = 0;
        EXPECT_EQ(registry.OpenKey(bad, &key), kErrorInvalidParameter);
        EXPECT_EQ(registry.CreateKey(bad, KeyAccess::AllAccess, &key), kErrorInvalidParameter);
        EXPECT_EQ(key, 0u);
    }
    EXPECT_EQ(registry.DeleteKey(""), kErrorAccessDenied);
    EXPECT_EQ(registry.openHandleCount(), 0u);
    EXPECT_EQ(registry.SubkeyNames("System"), std::vector<std::string>{"Select"});
}

TEST(MemoryRegistryTest, DeleteKeyRefusesAbsentKeysAndKeysWithSubkeys) {
    struct Case {
        const char* path;
        long result;
        bool existsAfter;
    };
    const Case cases[] = {
        {"Software\\Missing", kErrorFileNotFound, false},
        {"Nowhere\\Missing", kErrorFileNotFound, false},
        {"Software\\Vendor", kErrorAccessDenied, true},
        {"SOFTWARE\\vendor\\leaf", kErrorSuccess, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        MemoryRegistry registry;
        registry.SetStringAt("Software\\Vendor\\Leaf", "v", "x");
        EXPECT_EQ(registry.DeleteKey(c.path), c.result);
        EXPECT_EQ(registry.KeyExists(c.path), c.existsAfter);
        EXPECT_TRUE(registry.KeyExists("Software\\Vendor"));
        EXPECT_EQ(registry.mutations().size(), c.result == kErrorSuccess ? 1u : 0u);
    }
}

TEST(MemoryRegistryTest, HandlesToDeletedKeysFailWithoutCrashing) {
    MemoryRegistry registry;
    registry.SetStringAt("A\\B\\C", "v", "x");
    RegKey leaf = 0;
    RegKey middle = 0;
    ASSERT_EQ(registry.CreateKey("A\\B\\C", KeyAccess::AllAccess, &leaf), kErrorSuccess);
    ASSERT_EQ(registry.CreateKey("A\\B", KeyAccess::AllAccess, &middle), kErrorSuccess);
    ASSERT_EQ(registry.DeleteKey("A\\B\\C"), kErrorSuccess);
    ASSERT_TRUE(registry.DeleteTreeAt("A"));

    for (const RegKey key : {leaf, middle}) {
        std::array<std::uint8_t, 8> data{};
        std::uint32_t size = data.size();
        EXPECT_EQ(registry.QueryValue(key, "v", nullptr, data.data(), &size), kErrorKeyDeleted);
        char name[8];
        std::uint32_t length = sizeof name;
        EXPECT_EQ(registry.EnumKey(key, 0, name, &length), kErrorKeyDeleted);
        EXPECT_EQ(registry.SetValue(key, "v", kRegSz, data.data(), 1), kErrorKeyDeleted);
        registry.CloseKey(key);
    }
    EXPECT_FALSE(registry.KeyExists("A"));
    EXPECT_EQ(registry.openHandleCount(), 0u);
    registry.CloseKey(leaf);  // already closed: harmless
    registry.CloseKey(0x12345);
    EXPECT_EQ(registry.Dump(), "");
}

TEST(MemoryRegistryTest, EnumerationIsSortedWithoutRegardToCase) {
    MemoryRegistry registry;
    // Upper-case order puts '_' (0x5f) after the letters and bytes above 0x7f last.
    for (const char* name : {"b", "\xc4t", "_x", "A", "Ab", "C", "aa", "0"}) {
        registry.CreateKeyAt(std::string("Enum\\") + name);
    }
    const std::vector<std::string> expected = {"0", "A", "aa", "Ab", "b", "C", "_x", "\xc4t"};
    EXPECT_EQ(EnumerateAll(registry, "Enum"), expected);
    EXPECT_EQ(registry.SubkeyNames("enum"), expected);

    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey("Enum", &key), kErrorSuccess);
    char name[8];
    std::uint32_t length = sizeof name;
    EXPECT_EQ(registry.EnumKey(key, 8, name, &length), kErrorNoMoreItems);
    EXPECT_EQ(registry.EnumKey(key, 0xffffffffu, name, &length), kErrorNoMoreItems);
    registry.CloseKey(key);
}

TEST(MemoryRegistryTest, EnumKeyGivesMoreDataWhenTheNameAndItsNulDoNotFit) {
    struct Case {
        std::size_t nameLength;
        long result;
    };
    const Case cases[] = {
        {1, kErrorSuccess},
        {kRegistryBufferSize - 1, kErrorSuccess},
        {kRegistryBufferSize, kErrorMoreData},
        {kRegistryBufferSize + 1, kErrorMoreData},
        {5000, kErrorMoreData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nameLength);
        MemoryRegistry registry;
        const std::string longName(c.nameLength, 'n');
        ASSERT_TRUE(registry.CreateKeyAt("Key\\" + longName));
        RegKey key = 0;
        ASSERT_EQ(registry.OpenKey("Key", &key), kErrorSuccess);
        std::array<char, kRegistryBufferSize + 16> buffer;
        buffer.fill(static_cast<char>(kFill));
        std::uint32_t length = kRegistryBufferSize;
        EXPECT_EQ(registry.EnumKey(key, 0, buffer.data(), &length), c.result);
        if (c.result == kErrorSuccess) {
            EXPECT_EQ(length, c.nameLength);
            EXPECT_EQ(std::string(buffer.data()), longName);
        }
        for (std::size_t i = kRegistryBufferSize; i < buffer.size(); ++i) {
            EXPECT_EQ(static_cast<std::uint8_t>(buffer[i]), kFill) << i;
        }
        registry.CloseKey(key);
    }
}

TEST(MemoryRegistryTest, KeyNamesMayHoldAnyByteButBackslashAndNul) {
    MemoryRegistry registry;
    const std::string name = "\x01\x7f\xff ]\"[;=";
    ASSERT_TRUE(registry.CreateKeyAt("K\\" + name));
    EXPECT_EQ(EnumerateAll(registry, "K"), std::vector<std::string>{name});
    EXPECT_FALSE(registry.CreateKeyAt(std::string("K\\a\0b", 5)));
    EXPECT_EQ(registry.SubkeyNames("K").size(), 1u);
}

TEST(MemoryRegistryTest, QueryValueNeverWritesPastTheBuffer) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> stored;
        std::uint32_t bufferSize;
        long result;
    };
    const Case cases[] = {
        {"zero length", {}, 4, kErrorSuccess},
        {"odd length", {1, 2, 3}, 4, kErrorSuccess},
        {"exact fit", {1, 2, 3, 4}, 4, kErrorSuccess},
        {"one byte too long", {1, 2, 3, 4, 5}, 4, kErrorMoreData},
        {"oversized", std::vector<std::uint8_t>(1000, 7), 260, kErrorMoreData},
        {"zero-size buffer", {9}, 0, kErrorMoreData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRegistry registry;
        registry.SetValueAt("K", "Value", kRegBinary, c.stored);
        RegKey key = 0;
        ASSERT_EQ(registry.OpenKey("K", &key), kErrorSuccess);
        std::vector<std::uint8_t> buffer(c.bufferSize + 16, kFill);
        std::uint32_t size = c.bufferSize;
        std::uint32_t type = 0xdeadu;
        EXPECT_EQ(registry.QueryValue(key, "VALUE", &type, buffer.data(), &size), c.result);
        EXPECT_EQ(size, c.stored.size());
        const std::size_t written = c.result == kErrorSuccess ? c.stored.size() : 0;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            if (i < written) {
                EXPECT_EQ(buffer[i], c.stored[i]) << i;
            } else {
                EXPECT_EQ(buffer[i], kFill) << i;
            }
        }
        if (c.result == kErrorSuccess) {
            EXPECT_EQ(type, kRegBinary);
        }

        // No buffer: just the size.
        size = 0;
        EXPECT_EQ(registry.QueryValue(key, "value", nullptr, nullptr, &size), kErrorSuccess);
        EXPECT_EQ(size, c.stored.size());
        registry.CloseKey(key);
    }
}

TEST(MemoryRegistryTest, QueryOfAbsentValuesAndTheDefaultValue) {
    MemoryRegistry registry;
    registry.SetStringAt("K", "", "default");
    registry.SetDwordAt("K", "Count", 10);
    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey("K", &key), kErrorSuccess);
    std::array<std::uint8_t, 16> buffer{};
    std::uint32_t size = buffer.size();
    std::uint32_t type = 0;
    ASSERT_EQ(registry.QueryValue(key, nullptr, &type, buffer.data(), &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 8u);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "default");
    size = buffer.size();
    ASSERT_EQ(registry.QueryValue(key, "count", &type, buffer.data(), &size), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[0], 10);
    size = buffer.size();
    EXPECT_EQ(registry.QueryValue(key, "Missing", &type, buffer.data(), &size), kErrorFileNotFound);
    registry.CloseKey(key);
    size = buffer.size();
    EXPECT_NE(registry.QueryValue(key, "Count", &type, buffer.data(), &size), kErrorSuccess);
}

TEST(MemoryRegistryTest, SetValueReplacesAndKeepsTheFirstNameCase) {
    MemoryRegistry registry;
    RegKey key = 0;
    ASSERT_EQ(registry.CreateKey("DriveIcons\\E\\DefaultLabel", KeyAccess::AllAccess, &key),
              kErrorSuccess);
    const std::uint8_t first[] = {'a', 'b', 0};
    const std::uint8_t second[] = {'z'};
    EXPECT_EQ(registry.SetValue(key, "Name", kRegSz, first, sizeof first), kErrorSuccess);
    EXPECT_EQ(registry.SetValue(key, "NAME", kRegBinary, second, sizeof second), kErrorSuccess);
    EXPECT_EQ(registry.SetValue(key, nullptr, kRegSz, nullptr, 0), kErrorSuccess);
    registry.CloseKey(key);

    EXPECT_EQ(registry.ValueNames("DriveIcons\\E\\DefaultLabel"),
              (std::vector<std::string>{"", "Name"}));
    EXPECT_EQ(registry.GetValueAt("driveicons\\e\\defaultlabel", "name"),
              (StoredValue{kRegBinary, {'z'}}));
    EXPECT_EQ(registry.GetValueAt("DriveIcons\\E\\DefaultLabel", ""), (StoredValue{kRegSz, {}}));

    const auto log = registry.mutations();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[3].operation, MemoryRegistry::Operation::Set);
    EXPECT_EQ(log[3].keyPath, "DriveIcons\\E\\DefaultLabel");
    EXPECT_EQ(log[3].valueName, "Name");
    EXPECT_EQ(log[3].type, kRegSz);
    EXPECT_EQ(log[3].data, Bytes(std::string("ab\0", 3)));
    EXPECT_EQ(log[4].valueName, "NAME");
    EXPECT_EQ(log[5].valueName, "");
}

TEST(MemoryRegistryTest, ReadOnlyHandlesCannotWrite) {
    MemoryRegistry registry;
    registry.CreateKeyAt("K");
    const std::uint8_t data[] = {'x', 0};
    struct Case {
        const char* what;
        long (*open)(MemoryRegistry&, RegKey*);
        long result;
    };
    const Case cases[] = {
        {"OpenKey", [](MemoryRegistry& r, RegKey* k) { return r.OpenKey("K", k); },
         kErrorAccessDenied},
        {"CreateKey read",
         [](MemoryRegistry& r, RegKey* k) { return r.CreateKey("K", KeyAccess::Read, k); },
         kErrorAccessDenied},
        {"CreateKey all access",
         [](MemoryRegistry& r, RegKey* k) { return r.CreateKey("K", KeyAccess::AllAccess, k); },
         kErrorSuccess},
        {"CreateKeyDefaultView",
         [](MemoryRegistry& r, RegKey* k) { return r.CreateKeyDefaultView("K", k); },
         kErrorSuccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        registry.DeleteValueAt("K", "v");
        RegKey key = 0;
        ASSERT_EQ(c.open(registry, &key), kErrorSuccess);
        EXPECT_EQ(registry.SetValue(key, "v", kRegSz, data, sizeof data), c.result);
        EXPECT_EQ(registry.GetValueAt("K", "v").has_value(), c.result == kErrorSuccess);
        registry.CloseKey(key);
    }
}

TEST(MemoryRegistryTest, HandlesAreDistinctNonzeroAndCounted) {
    MemoryRegistry registry;
    registry.CreateKeyAt("K");
    std::vector<RegKey> keys;
    for (int i = 0; i < 3; ++i) {
        RegKey key = 0;
        ASSERT_EQ(registry.OpenKey("K", &key), kErrorSuccess);
        EXPECT_NE(key, 0u);
        for (const RegKey other : keys) EXPECT_NE(key, other);
        keys.push_back(key);
    }
    EXPECT_EQ(registry.openHandleCount(), 3u);
    registry.CloseKey(keys[1]);
    registry.CloseKey(keys[1]);
    EXPECT_EQ(registry.openHandleCount(), 2u);
    registry.CloseKey(keys[0]);
    registry.CloseKey(keys[2]);
    EXPECT_EQ(registry.openHandleCount(), 0u);
}

TEST(MemoryRegistryTest, CountsEveryCallUntilReset) {
    MemoryRegistry registry;
    registry.CreateKeyAt("K\\Sub");
    RegKey key = 0;
    (void)registry.OpenKey("K", &key);
    (void)registry.OpenKey("Missing", &key);
    (void)registry.CreateKey("K", KeyAccess::AllAccess, &key);
    (void)registry.CreateKeyDefaultView("K", &key);
    char name[16];
    std::uint32_t length = sizeof name;
    (void)registry.EnumKey(key, 0, name, &length);
    std::uint32_t size = 0;
    (void)registry.QueryValue(key, "v", nullptr, nullptr, &size);
    (void)registry.SetValue(key, "v", kRegSz, nullptr, 0);
    registry.CloseKey(key);
    (void)registry.DeleteKey("K\\Sub");

    const auto counts = registry.callCounts();
    EXPECT_EQ(counts.open, 2u);
    EXPECT_EQ(counts.create, 1u);
    EXPECT_EQ(counts.createDefaultView, 1u);
    EXPECT_EQ(counts.enumerate, 1u);
    EXPECT_EQ(counts.query, 1u);
    EXPECT_EQ(counts.set, 1u);
    EXPECT_EQ(counts.close, 1u);
    EXPECT_EQ(counts.deleteKey, 1u);
    EXPECT_EQ(counts.total, 9u);
    registry.ResetCallCounts();
    EXPECT_EQ(registry.callCounts().total, 0u);
    EXPECT_EQ(registry.callCounts().open, 0u);
}

TEST(MemoryRegistryTest, FailureHookReplacesTheOperation) {
    MemoryRegistry registry;
    registry.SetStringAt("Sys\\Key", "v", "x");
    std::vector<std::string> seen;
    registry.SetFailureHook([&seen](MemoryRegistry::Operation operation, const char* path) {
        seen.push_back(std::string(OperationName(operation)) + " " + path);
        if (operation == MemoryRegistry::Operation::Create) return kErrorAccessDenied;
        if (operation == MemoryRegistry::Operation::Query) return kErrorMoreData;
        return kErrorSuccess;
    });
    RegKey key = 0;
    EXPECT_EQ(registry.CreateKey("Sys\\New", KeyAccess::AllAccess, &key), kErrorAccessDenied);
    EXPECT_EQ(key, 0u);
    EXPECT_FALSE(registry.KeyExists("Sys\\New"));
    ASSERT_EQ(registry.OpenKey("SYS\\key", &key), kErrorSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(registry.QueryValue(key, "v", nullptr, nullptr, &size), kErrorMoreData);
    EXPECT_EQ(size, 0u);
    registry.CloseKey(key);
    EXPECT_EQ(registry.openHandleCount(), 0u);
    EXPECT_EQ(seen, (std::vector<std::string>{"Create Sys\\New", "Open SYS\\key", "Query Sys\\Key",
                                              "Close Sys\\Key"}));
    EXPECT_TRUE(registry.mutations().empty());

    registry.SetFailureHook(nullptr);
    ASSERT_EQ(registry.CreateKey("Sys\\New", KeyAccess::AllAccess, &key), kErrorSuccess);
    registry.CloseKey(key);
    EXPECT_TRUE(registry.KeyExists("Sys\\New"));
}

TEST(MemoryRegistryTest, DumpListsEveryKeyAndValueInOrder) {
    MemoryRegistry registry;
    registry.SetStringAt("b", "", "x");
    registry.SetValueAt("a\\Z", "\\DosDevices\\E:", kRegBinary, {0x5c, 0x00, 0x3f});
    registry.SetDwordAt("a\\Z", "Count", 0x0a);
    registry.SetValueAt("a\\Z", "odd\x01\"", 0x4321, {});
    registry.CreateKeyAt("a\\y\xe9]");
    EXPECT_EQ(registry.Dump(),
              "[a]\n"
              "[a\\y\\xe9\\x5d]\n"
              "[a\\Z]\n"
              "\"Count\"=dword:0a,00,00,00\n"
              "\"odd\\x01\\\"\"=type(17185):\n"
              "\"\\\\DosDevices\\\\E:\"=binary:5c,00,3f\n"
              "[b]\n"
              "@=sz:78,00\n");

    MemoryRegistry same;
    same.CreateKeyAt("A\\Y\xe9]");
    EXPECT_FALSE(same.SameContentAs(registry));
    same.SetDwordAt("A\\Z", "Count", 0x0a);
    EXPECT_FALSE(same.SameContentAs(registry));  // key names differ in case
}

TEST(MemoryRegistryTest, TestSupportDeletesValuesAndTrees) {
    MemoryRegistry registry;
    registry.SetStringAt("A\\B\\C", "v", "x");
    registry.SetStringAt("A\\B", "w", "y");
    registry.SetStringAt("A2", "v", "z");
    EXPECT_TRUE(registry.DeleteValueAt("a\\b", "W"));
    EXPECT_FALSE(registry.DeleteValueAt("A\\B", "w"));
    EXPECT_FALSE(registry.DeleteValueAt("A\\Missing", "w"));
    EXPECT_FALSE(registry.DeleteTreeAt("A\\Missing"));
    EXPECT_TRUE(registry.DeleteTreeAt("A\\B"));
    EXPECT_FALSE(registry.KeyExists("A\\B\\C"));
    EXPECT_TRUE(registry.KeyExists("A"));
    EXPECT_EQ(registry.GetValueAt("A2", "v"), (StoredValue{kRegSz, Bytes(std::string("z\0", 2))}));
    EXPECT_EQ(registry.GetValueAt("A2", "missing"), std::nullopt);
    registry.Clear();
    EXPECT_EQ(registry.Dump(), "");
    EXPECT_TRUE(registry.mutations().empty());
    EXPECT_EQ(registry.callCounts().total, 0u);
}

}  // namespace
}  // namespace kqm
