// The two reader families: eight slot types each, the same labels in a different order.
#include "core/reader_models.h"

#include <cstring>

namespace kqm {

const std::array<ReaderModel, kReaderModelCount> ReaderModelTable = {{
    {"Compact Flash Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-CF_Unit"},
    {"Smart Media Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-SM_Unit"},
    {"Memory Stick Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-MS_Unit"},
    {"SD Card Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-SD_Unit"},
    {"xD/SM Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-xD/SM"},
    {"xD Card Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-xD_Unit"},
    {"MS Duo Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-MS_Duo"},
    {"miniSD/RS-MMC Drive", "Disk&Ven_K-Q_MIRO&Prod_HX2___RW-sd/mmc"},
    {"Compact Flash Drive", "Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port"},
    {"Smart Media Drive", "Disk&Ven_K-Q_MIRO&Prod_SM_Media_Port"},
    {"xD/SM Drive", "Disk&Ven_K-Q_MIRO&Prod_xD/SM___Port"},
    {"xD Card Drive", "Disk&Ven_K-Q_MIRO&Prod_xD_Media_Port"},
    {"Memory Stick Drive", "Disk&Ven_K-Q_MIRO&Prod_MS_Media_Port"},
    {"SD Card Drive", "Disk&Ven_K-Q_MIRO&Prod_SD_Media_Port"},
    {"MS Duo Drive", "Disk&Ven_K-Q_MIRO&Prod_MS_Duo__Port"},
    {"miniSD/RS-MMC Drive", "Disk&Ven_K-Q_MIRO&Prod_sd/mmc__Port"},
}};

const ReaderModel* FindReaderModelByFragment(const char* text) {
    for (const ReaderModel& model : ReaderModelTable) {
        if (std::strstr(text, model.deviceIdFragment) != nullptr) return &model;
    }
    return nullptr;
}

const ReaderModel* FindReaderModelByLabel(const char* text) {
    for (const ReaderModel& model : ReaderModelTable) {
        if (std::strcmp(text, model.label) == 0) return &model;
    }
    return nullptr;
}

}  // namespace kqm
