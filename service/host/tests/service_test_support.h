// Shared by the service host tests: trace-line expectations and log helpers.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "testing/substitute_service_platform.h"

namespace kqm::testing {

using Lines = std::vector<std::string>;
using Substitute = SubstituteServicePlatform;

constexpr std::uint32_t kMain = Substitute::kMainThreadId;
constexpr std::uint32_t kServiceThread = Substitute::kServiceThreadId;

// The log entry of a trace line written on a thread by the service "KQMIEx64".
inline std::string Tr(std::uint32_t thread, const std::string& message,
                      const std::string& name = "KQMIEx64") {
    return "trace [" + name + "](" + std::to_string(thread) + "): " + message;
}

// The entries after the first `from` ones.
inline Lines After(const Lines& lines, std::size_t from) {
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())),
                 lines.end());
}

// Runs of one repeated entry count once ("Sleeping..." of a polling Run).
inline Lines Collapse(const Lines& lines) {
    Lines out;
    for (const auto& line : lines) {
        if (out.empty() || out.back() != line) out.push_back(line);
    }
    return out;
}

// Position of the first entry equal to text, or the size when there is none.
inline std::size_t IndexOf(const Lines& lines, const std::string& text) {
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), text) - lines.begin());
}

inline const std::string kNotification =
    "notification recipient=20816 size=32 type=5 class={53F5630D-B6BF-11D0-94F2-00A0C91EFB8B} "
    "flags=1";

}  // namespace kqm::testing
