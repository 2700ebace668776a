// Drive types for tests: a table of answers per letter; letters not in it have no drive.
#pragma once

#include <array>
#include <atomic>
#include <cctype>

#include "platform/system.h"

namespace kqm {

class DriveTypeTable final : public DriveTypeSource {
  public:
    void Set(char letter, unsigned type) { types_[Index(letter)] = type; }
    void SetAll(unsigned type) {
        for (auto& t : types_) t = type;
    }
    unsigned QueryDriveType(const char* rootPath) override {
        ++queries_;
        if (rootPath == nullptr || rootPath[0] == '\0') return kDriveNoRootDir;
        return types_[Index(rootPath[0])];
    }
    unsigned queries() const { return queries_; }

  private:
    static std::size_t Index(char letter) {
        return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(letter)));
    }

    std::array<std::atomic<unsigned>, 256> types_{};  // 0 = DRIVE_UNKNOWN until set
    std::atomic<unsigned> queries_{0};
};

}  // namespace kqm
