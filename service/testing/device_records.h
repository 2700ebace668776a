// Mounted-device records as Windows stores them, for tests, the fuzzer and the benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kqm {

// An 8-bit text as the UTF-16LE bytes of a REG_BINARY mounted-device value.
inline std::vector<std::uint8_t> Utf16Bytes(const std::string& text, bool terminated) {
    std::vector<std::uint8_t> data;
    data.reserve(2 * text.size() + 2);
    for (char c : text) {
        data.push_back(static_cast<std::uint8_t>(c));
        data.push_back(0);
    }
    if (terminated) data.insert(data.end(), {0, 0});
    return data;
}

// The device name of a removable volume whose parent-ID prefix is the given one.
inline std::string RemovableVolumeName(const std::string& parentIdPrefix) {
    return "\\??\\STORAGE#RemovableMedia#" + parentIdPrefix +
           "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
}

}  // namespace kqm
