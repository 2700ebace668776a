// ShellExecute's answers for the manual, sorted into what the user is told.
#include "core/shell_result.h"

namespace kq::launcher {

namespace {
constexpr std::intptr_t kFileNotFound = 2;
constexpr std::intptr_t kPathNotFound = 3;
constexpr std::intptr_t kAssociationIncomplete = 27;
constexpr std::intptr_t kNoAssociation = 31;
}  // namespace

ManualFeedback JudgeManualResult(std::intptr_t code) {
    if (code > 32) return ManualFeedback::None;
    switch (code) {
        case kFileNotFound:
        case kPathNotFound:  // the medium's folder has gone, e.g. the disc was taken out
            return ManualFeedback::FileNotFound;
        case kNoAssociation:
        case kAssociationIncomplete:  // a viewer half removed: as good as none
            return ManualFeedback::NoViewer;
        default:
            // Access denied, sharing, DDE and memory failures: the shell reports these itself
            // (no SEE_MASK_FLAG_NO_UI), a second box would only repeat it.
            return ManualFeedback::None;
    }
}

}  // namespace kq::launcher
