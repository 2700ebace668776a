// The supported reader models: which USB mass-storage devices are reader slots, and their labels.
#pragma once

#include <array>
#include <cstddef>

namespace kqm {

struct ReaderModel {
    const char* label;             // the Explorer drive label of this slot type
    const char* deviceIdFragment;  // occurs in the slot's device key name below Enum\USBSTOR
};

constexpr std::size_t kReaderModelCount = 16;
extern const std::array<ReaderModel, kReaderModelCount> ReaderModelTable;

// The first row whose fragment occurs in text (case-sensitive), or nullptr.
const ReaderModel* FindReaderModelByFragment(const char* text);
// The first row whose label equals text exactly, or nullptr.
const ReaderModel* FindReaderModelByLabel(const char* text);

}  // namespace kqm
