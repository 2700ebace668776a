// The registry operations the label logic and the installer use, below HKEY_LOCAL_MACHINE.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kqm {

// Win32 result codes that callers compare against.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

// Registry value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// Values and subkey names are read into buffers of this size.
constexpr std::size_t kRegistryBufferSize = 260;

// An open key; 0 means none.
using RegKey = std::uintptr_t;

// Access asked for when a key is created or opened; both go to the 64-bit view.
enum class KeyAccess {
    Read,       // KEY_READ | KEY_WOW64_64KEY
    AllAccess,  // KEY_ALL_ACCESS | KEY_WOW64_64KEY
};

// Every path is relative to HKEY_LOCAL_MACHINE. Results are Win32 error codes.
class Registry {
  public:
    virtual ~Registry() = default;

    // RegOpenKeyExA(HKLM, path, 0, KEY_READ | KEY_WOW64_64KEY).
    [[nodiscard]] virtual long OpenKey(const char* path, RegKey* key) = 0;
    // RegCreateKeyExA(HKLM, path, 0, no class, REG_OPTION_NON_VOLATILE, access, no security):
    // creates every missing key on the path.
    [[nodiscard]] virtual long CreateKey(const char* path, KeyAccess access, RegKey* key) = 0;
    // RegCreateKeyA(HKLM, path): the default registry view, for the event log source.
    [[nodiscard]] virtual long CreateKeyDefaultView(const char* path, RegKey* key) = 0;
    // RegQueryValueExA; a null name is the key's default value. *size holds the buffer size on
    // entry and the data size on return; data that does not fit gives kErrorMoreData.
    [[nodiscard]] virtual long QueryValue(RegKey key, const char* name, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* size) = 0;
    // RegEnumKeyExA; *nameLength holds the buffer size on entry and the name's length without
    // its NUL on return. A name that does not fit with its NUL gives kErrorMoreData.
    [[nodiscard]] virtual long EnumKey(RegKey key, std::uint32_t index, char* name,
                                       std::uint32_t* nameLength) = 0;
    // RegSetValueExA(key, name, 0, type, data, size); a null name is the default value.
    virtual long SetValue(RegKey key, const char* name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) = 0;
    // RegCloseKey.
    virtual void CloseKey(RegKey key) = 0;
    // RegDeleteKeyExA(HKLM, path, KEY_WOW64_64KEY, 0): fails for an absent key and for one
    // that still has subkeys.
    virtual long DeleteKey(const char* path) = 0;
};

// Owns one open key and closes it when it goes out of scope.
class ScopedKey {
  public:
    explicit ScopedKey(Registry& registry) : registry_(registry) {}
    ~ScopedKey() { Close(); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    [[nodiscard]] long Open(const char* path) { return Adopt(registry_.OpenKey(path, &key_)); }
    [[nodiscard]] long Create(const char* path, KeyAccess access) {
        return Adopt(registry_.CreateKey(path, access, &key_));
    }
    [[nodiscard]] long CreateDefaultView(const char* path) {
        return Adopt(registry_.CreateKeyDefaultView(path, &key_));
    }
    void Close() {
        if (key_ != 0) {
            registry_.CloseKey(key_);
            key_ = 0;
        }
    }
    RegKey get() const { return key_; }

  private:
    long Adopt(long result) {
        if (result != kErrorSuccess) key_ = 0;
        return result;
    }

    Registry& registry_;
    RegKey key_ = 0;
};

}  // namespace kqm
