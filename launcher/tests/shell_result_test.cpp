// MANUAL's message for each answer of the shell.
#include "core/shell_result.h"

#include <gtest/gtest.h>

namespace kq::launcher {
namespace {

TEST(JudgeManualResult, OneMessagePerKindOfFailure) {
    struct Case {
        std::intptr_t code;
        ManualFeedback expected;
    };
    const Case cases[] = {
        {33, ManualFeedback::None},         // started
        {42, ManualFeedback::None},         //
        {32, ManualFeedback::None},         // SE_ERR_DLLNOTFOUND
        {2, ManualFeedback::FileNotFound},  // ERROR_FILE_NOT_FOUND
        {3, ManualFeedback::FileNotFound},  // ERROR_PATH_NOT_FOUND
        {31, ManualFeedback::NoViewer},     // SE_ERR_NOASSOC
        {27, ManualFeedback::NoViewer},     // SE_ERR_ASSOCINCOMPLETE
        {5, ManualFeedback::None},          // SE_ERR_ACCESSDENIED
        {26, ManualFeedback::None},         // SE_ERR_SHARE
        {28, ManualFeedback::None},         // SE_ERR_DDETIMEOUT
        {29, ManualFeedback::None},         // SE_ERR_DDEFAIL
        {30, ManualFeedback::None},         // SE_ERR_DDEBUSY
        {8, ManualFeedback::None},          // SE_ERR_OOM
        {0, ManualFeedback::None},          // out of resources
        {-1, ManualFeedback::None},         //
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeManualResult(c.code), c.expected) << c.code;
    }
}

}  // namespace
}  // namespace kq::launcher
