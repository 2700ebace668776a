// The registry interface over the ANSI advapi32 calls, in the 64-bit registry view.
#pragma once

#include "platform/registry.h"

namespace kqm {

class Win32Registry final : public Registry {
  public:
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
};

}  // namespace kqm
