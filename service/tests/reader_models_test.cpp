// The two searches of the reader model table.
#include "core/reader_models.h"

#include <gtest/gtest.h>

#include <string>

namespace kqm {
namespace {

int RowOf(const ReaderModel* model) {
    return model == nullptr ? -1 : static_cast<int>(model - ReaderModelTable.data());
}

TEST(ReaderModels, SearchByLabelYieldsTheFirstFamilyOnly) {
    EXPECT_EQ(RowOf(FindReaderModelByLabel("Compact Flash Drive")), 0);
    EXPECT_EQ(RowOf(FindReaderModelByLabel("miniSD/RS-MMC Drive")), 7);
    EXPECT_EQ(RowOf(FindReaderModelByLabel("compact flash drive")), -1);
    EXPECT_EQ(RowOf(FindReaderModelByLabel("Compact Flash Drive ")), -1);
    EXPECT_EQ(RowOf(FindReaderModelByLabel("")), -1);
}

TEST(ReaderModels, SearchByFragmentIsCaseSensitiveAndFindsItAnywhere) {
    const struct {
        const char* text;
        int row;
    } cases[] = {
        {"Disk&Ven_K-Q_MIRO&Prod_CF_Media_Port&Rev_1.00", 8},
        {"disk&ven_k-q_miro&prod_cf_media_port&rev_1.00", -1},
        {"SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_K-Q_MIRO&Prod_HX2___RW-SD_Unit&Rev_"
         "2.10\\0001&0",
         3},
        {"Disk&Ven_K-Q_MIRO&Prod_HX2___RW-xD/SM", 4},
        {"Disk&Ven_K-Q_MIRO&Prod_sd/mmc__Port", 15},
        {"Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowOf(FindReaderModelByFragment(c.text)), c.row) << c.text;
    }
}

TEST(ReaderModels, NoFragmentOccursInsideAnother) {
    for (const ReaderModel& a : ReaderModelTable) {
        for (const ReaderModel& b : ReaderModelTable) {
            if (&a == &b) continue;
            EXPECT_EQ(std::string(a.deviceIdFragment).find(b.deviceIdFragment), std::string::npos)
                << a.deviceIdFragment << " holds " << b.deviceIdFragment;
        }
    }
}

}  // namespace
}  // namespace kqm
