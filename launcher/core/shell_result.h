// What MANUAL tells the user about the shell's answer to opening the manual.
#pragma once

#include <cstdint>

namespace kq::launcher {

enum class ManualFeedback {
    None,          // opened, or the shell has already said what went wrong
    FileNotFound,  // message 14000 naming the manual
    NoViewer,      // message 14004
};

// code: the value ShellExecuteA returned, as a number.
ManualFeedback JudgeManualResult(std::intptr_t code);

}  // namespace kq::launcher
