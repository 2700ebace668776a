// Loads .reg files, as regedit writes and imports them, into a MemoryRegistry.
#pragma once

#include <string>
#include <string_view>

#include "testing/memory_registry.h"

namespace kqm {

struct RegLoadResult {
    bool ok = false;
    int line = 0;         // 1-based line of the error; 0 when the file could not be read
    std::string message;  // "line 12: expected '=' after value name"
};

// Accepts "REGEDIT4" (8-bit text taken byte for byte) and "Windows Registry Editor
// Version 5.00" (UTF-16LE with BOM as regedit writes it, or UTF-8 with or without BOM).
// Only HKEY_LOCAL_MACHINE keys. The whole text is checked before anything is applied: on an
// error the registry is left exactly as it was. Loading is not counted or logged as calls.
RegLoadResult LoadRegText(std::string_view bytes, MemoryRegistry& registry);
RegLoadResult LoadRegFile(const std::string& path, MemoryRegistry& registry);

}  // namespace kqm
