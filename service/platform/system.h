// Drive types and text conversion: the kernel32 services the label logic asks of Windows.
#pragma once

namespace kqm {

// GetDriveTypeA answers; the label logic only cares about removable drives.
constexpr unsigned kDriveUnknown = 0;
constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveRemovable = 2;
constexpr unsigned kDriveFixed = 3;
constexpr unsigned kDriveRemote = 4;
constexpr unsigned kDriveCdrom = 5;
constexpr unsigned kDriveRamdisk = 6;

class DriveTypeSource {
  public:
    virtual ~DriveTypeSource() = default;
    // GetDriveTypeA for a root path such as "E:\".
    virtual unsigned QueryDriveType(const char* rootPath) = 0;
};

class TextConverter {
  public:
    virtual ~TextConverter() = default;
    // WideCharToMultiByte(CP_ACP, 0, text, length, out, outSize, nullptr, nullptr): the number
    // of bytes written (no terminator added), or 0 when the text cannot be converted or does
    // not fit.
    virtual int WideToAnsi(const char16_t* text, int length, char* out, int outSize) = 0;
};

// The conversion the portable build uses: ASCII passes unchanged and every other character
// becomes '?', as the Western code pages do for the device names Windows stores.
class AsciiTextConverter final : public TextConverter {
  public:
    int WideToAnsi(const char16_t* text, int length, char* out, int outSize) override;
};

}  // namespace kqm
