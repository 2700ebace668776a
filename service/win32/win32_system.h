// Drive types and text conversion from kernel32.
#pragma once

#include "platform/system.h"

namespace kqm {

class Win32DriveTypes final : public DriveTypeSource {
  public:
    unsigned QueryDriveType(const char* rootPath) override;
};

class Win32TextConverter final : public TextConverter {
  public:
    int WideToAnsi(const char16_t* text, int length, char* out, int outSize) override;
};

}  // namespace kqm
