// An in-memory HKEY_LOCAL_MACHINE for tests, the fuzzer and the benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"

namespace kqm {

// ERROR_KEY_DELETED: what Windows returns for operations on a handle whose key was deleted.
constexpr long kErrorKeyDeleted = 1018;

// A value as the ANSI registry functions see it.
struct StoredValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;

    bool operator==(const StoredValue& other) const {
        return type == other.type && data == other.data;
    }
    bool operator!=(const StoredValue& other) const { return !(*this == other); }
};

// Key and value names compare as Windows compares them: ASCII letters without regard to case,
// every other byte as itself. Ordering follows the upper-case form, as Windows sorts subkeys.
struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

class MemoryRegistry final : public Registry {
  public:
    enum class Operation { Open, Create, CreateDefaultView, Query, Enum, Set, Close, Delete };

    struct CallCounts {
        std::uint64_t open = 0;
        std::uint64_t create = 0;
        std::uint64_t createDefaultView = 0;
        std::uint64_t query = 0;
        std::uint64_t enumerate = 0;
        std::uint64_t set = 0;
        std::uint64_t close = 0;
        std::uint64_t deleteKey = 0;
        std::uint64_t total = 0;
    };

    // One change made through the Registry interface. Create entries name the operation used
    // (Create or CreateDefaultView), one entry for every key that did not exist before.
    struct Mutation {
        Operation operation = Operation::Create;
        std::string keyPath;             // full path with the case the keys were created with
        std::string valueName;           // Set only; empty for the default value
        std::uint32_t type = kRegNone;   // Set only
        std::vector<std::uint8_t> data;  // Set only
    };

    // Called before every interface operation with the path given (path operations) or the
    // key's path (handle operations; empty for an unknown handle). A nonzero result is returned
    // in place of doing the operation; for CloseKey it is ignored and the key is closed.
    using FailureHook = std::function<long(Operation operation, const char* path)>;

    MemoryRegistry();
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // Registry. Keys opened with OpenKey or CreateKey(Read) are read-only: SetValue on them
    // gives kErrorAccessDenied, as on Windows. Paths with an empty component (leading or
    // doubled backslash) give kErrorInvalidParameter; one trailing backslash is ignored.
    long OpenKey(const char* path, RegKey* key) override;
    long CreateKey(const char* path, KeyAccess access, RegKey* key) override;
    long CreateKeyDefaultView(const char* path, RegKey* key) override;
    long QueryValue(RegKey key, const char* name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override;
    long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLength) override;
    long SetValue(RegKey key, const char* name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override;
    void CloseKey(RegKey key) override;
    long DeleteKey(const char* path) override;

    // Test support. None of these are counted, logged or subject to the failure hook.
    // Paths as for the interface; "" is the root. Value name "" is the default value.
    // The functions that return bool give false for an invalid path or an absent key.
    bool CreateKeyAt(std::string_view path);
    bool SetValueAt(std::string_view path, std::string_view name, std::uint32_t type,
                    std::vector<std::uint8_t> data);
    bool SetStringAt(std::string_view path, std::string_view name,
                     std::string_view text);  // REG_SZ with its NUL
    bool SetDwordAt(std::string_view path, std::string_view name, std::uint32_t value);
    bool DeleteValueAt(std::string_view path, std::string_view name);
    // Deletes the key and everything below it; the root keeps itself but loses its content.
    bool DeleteTreeAt(std::string_view path);
    bool KeyExists(std::string_view path) const;
    std::optional<StoredValue> GetValueAt(std::string_view path, std::string_view name) const;
    // In enumeration order, with the case they were created with; empty for an absent key.
    std::vector<std::string> SubkeyNames(std::string_view path) const;
    // Sorted without regard to case; "" stands for the default value.
    std::vector<std::string> ValueNames(std::string_view path) const;
    // Every key below the root in enumeration order (depth first), each followed by its
    // values sorted by name as type + hex bytes. Bytes outside printable ASCII are written
    // \xHH. Equal dumps mean equal registries, key name case included.
    std::string Dump() const;
    bool SameContentAs(const MemoryRegistry& other) const { return Dump() == other.Dump(); }
    void Clear() { DeleteTreeAt(""); }

    // Instrumentation.
    std::size_t openHandleCount() const;
    CallCounts callCounts() const;
    void ResetCallCounts();
    std::vector<Mutation> mutations() const;
    void ClearMutations();
    void SetFailureHook(FailureHook hook);

    struct Node;

  private:
    struct Handle {
        std::shared_ptr<Node> node;
        bool writable = false;
    };

    long OpenOrCreate(Operation operation, const char* path, bool create, bool writable,
                      RegKey* key);
    long Inject(Operation operation, const char* path) const;
    long InjectForHandle(Operation operation, RegKey key) const;
    void Count(Operation operation);
    // A live handle's node, or an error code in *result.
    Node* Lookup(RegKey key, long* result) const;

    mutable std::mutex mutex_;
    std::shared_ptr<Node> root_;
    std::unordered_map<RegKey, Handle> handles_;
    RegKey nextHandle_ = 0x1000;
    CallCounts counts_;
    std::vector<Mutation> mutations_;
    FailureHook hook_;
};

const char* OperationName(MemoryRegistry::Operation operation);

}  // namespace kqm
