// Feeds any bytes to the .reg loader: it must never crash or hang, and a rejected text must
// leave the registry exactly as it was.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "testing/memory_registry.h"
#include "testing/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kqm::MemoryRegistry registry;
    registry.SetStringAt("SYSTEM\\Before", "kept", "as it was");
    const std::string before = registry.Dump();

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kqm::RegLoadResult result = kqm::LoadRegText(text, registry);
    if (!result.ok && registry.Dump() != before) {
        std::fprintf(stderr, "a rejected text changed the registry: %s\n", result.message.c_str());
        std::abort();
    }
    if (!result.ok && result.message.empty()) {
        std::fprintf(stderr, "a rejected text without a message\n");
        std::abort();
    }
    return 0;
}
