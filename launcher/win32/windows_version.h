// The running Windows' version record and WOW64 answer, for the installer decision.
#pragma once

#include "core/install_choice.h"

namespace kq::launcher {

class WindowsVersion : public VersionSource {
  public:
    bool QueryExtended(VersionRecord& out) override;
    bool QueryBasic(VersionRecord& out) override;
    bool IsWow64() override;
};

// Looks up a kernel32 function by name: null where this Windows has none.
void* KernelFunction(const char* name);

// DLLs that the shell loads later come from the system directory, not from the medium's
// folder; skipped on Windows without SetDefaultDllDirectories.
void LoadLibrariesFromSystemOnly();

}  // namespace kq::launcher
