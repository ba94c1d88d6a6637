#include "CardIdentification.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

struct RecordCase
{
    const char* name;
    std::string leading; // bytes written at the start of an otherwise zero sector
    int generation;
};

class IdentificationRecord : public testing::TestWithParam<RecordCase>
{
};

TEST_P(IdentificationRecord, NamesItsGeneration)
{
    std::array<unsigned char, CARD_ID_SECTOR_SIZE> sector{};
    std::memcpy(sector.data(), GetParam().leading.data(), GetParam().leading.size());
    EXPECT_EQ(cardIdentificationGeneration(sector.data(), sector.size()), GetParam().generation);
}

INSTANTIATE_TEST_SUITE_P(
    Sectors, IdentificationRecord,
    testing::Values(RecordCase{"Ccv1", "Kendrova-SFC-SD-ccv1", CARD_ID_CCV1},
                    RecordCase{"Ccv2", "Kendrova-SFC-SD-ccv2", CARD_ID_CCV2},
                    RecordCase{"PrefixOnly", "Kendrova", CARD_ID_NONE},
                    RecordCase{"LongerText", "Kendrova-SFC-SD-ccv21", CARD_ID_NONE},
                    RecordCase{"OtherText", "EXFAT   ", CARD_ID_NONE},
                    RecordCase{"Empty", "", CARD_ID_NONE}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(IdentificationRecord, ShortOrMissingSectorHoldsNoRecord)
{
    const unsigned char text[] = "Kendrova-SFC-SD-ccv2";
    EXPECT_EQ(cardIdentificationGeneration(text, sizeof(text) - 1), CARD_ID_NONE);
    EXPECT_EQ(cardIdentificationGeneration(text, sizeof(text)), CARD_ID_CCV2);
    EXPECT_EQ(cardIdentificationGeneration(nullptr, CARD_ID_SECTOR_SIZE), CARD_ID_NONE);
}

} // namespace
