#include "CardIdentification.h"
#include "CardManagement.h"

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
    uint32_t apiGeneration;
};

class IdentificationRecord : public testing::TestWithParam<RecordCase>
{
};

TEST_P(IdentificationRecord, NamesItsGeneration)
{
    std::array<unsigned char, CARD_ID_SECTOR_SIZE> sector{};
    std::memcpy(sector.data(), GetParam().leading.data(), GetParam().leading.size());
    EXPECT_EQ(cardIdentificationGeneration(sector.data(), sector.size()), GetParam().generation);
    tresora_ac_identification record{};
    ASSERT_EQ(tresora_ac_decodeIdentification(sector.data(), sector.size(), &record),
              TRESORA_AC_OK);
    EXPECT_EQ(record.generation, GetParam().apiGeneration);
}

INSTANTIATE_TEST_SUITE_P(
    Sectors, IdentificationRecord,
    testing::Values(
        RecordCase{"Ccv1", "Kendrova-SFC-SD-ccv1", CARD_ID_CCV1, TRESORA_AC_GENERATION_CCV1},
        RecordCase{"Ccv2", "Kendrova-SFC-SD-ccv2", CARD_ID_CCV2, TRESORA_AC_GENERATION_CCV2},
        RecordCase{"PrefixOnly", "Kendrova", CARD_ID_NONE, TRESORA_AC_GENERATION_UNKNOWN},
        RecordCase{"LongerText", "Kendrova-SFC-SD-ccv21", CARD_ID_NONE,
                   TRESORA_AC_GENERATION_UNKNOWN},
        RecordCase{"OtherText", "EXFAT   ", CARD_ID_NONE, TRESORA_AC_GENERATION_NONE},
        RecordCase{"Empty", "", CARD_ID_NONE, TRESORA_AC_GENERATION_NONE}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(IdentificationRecord, ShortOrMissingSectorHoldsNoRecord)
{
    const unsigned char text[] = "Kendrova-SFC-SD-ccv2";
    EXPECT_EQ(cardIdentificationGeneration(text, sizeof(text) - 1), CARD_ID_NONE);
    EXPECT_EQ(cardIdentificationGeneration(text, sizeof(text)), CARD_ID_CCV2);
    EXPECT_EQ(cardIdentificationGeneration(nullptr, CARD_ID_SECTOR_SIZE), CARD_ID_NONE);
}

TEST(IdentificationRecord, FieldsAreReadFromTheCallersSector)
{
    std::array<unsigned char, CARD_ID_SECTOR_SIZE> sector{};
    std::memcpy(sector.data(), "Kendrova-SFC-SD-ccv2", 20);
    std::memcpy(sector.data() + 32, "0123456789abcdef", 16);
    sector[48] = 1;    // security active
    sector[49] = 0xEE; // between the fields: read by none
    sector[50] = 1;    // read-only
    sector[51] = 7;    // incompatibility
    sector[52] = 2;    // security flags
    tresora_ac_identification record{};
    ASSERT_EQ(tresora_ac_decodeIdentification(sector.data(), sector.size(), &record),
              TRESORA_AC_OK);
    EXPECT_EQ(std::string(record.cid, record.cid + sizeof record.cid), "0123456789abcdef");
    EXPECT_EQ(record.securityActive, 1);
    EXPECT_EQ(record.readOnly, 1);
    EXPECT_EQ(record.incompatibility, 7);
    EXPECT_EQ(record.securityFlags, 2);

    EXPECT_EQ(tresora_ac_decodeIdentification(sector.data(), 52, &record),
              TRESORA_AC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(record.generation, TRESORA_AC_GENERATION_NONE)
        << "a refused sector leaves no stale record";
    EXPECT_EQ(tresora_ac_decodeIdentification(nullptr, CARD_ID_SECTOR_SIZE, &record),
              TRESORA_AC_ERR_INVALID_PARAMETER);
}

TEST(IdentificationRecord, LookedForInSector26ThenSector13)
{
    EXPECT_EQ(tresora_ac_identificationSector(0), 26);
    EXPECT_EQ(tresora_ac_identificationSector(1), 13);
    EXPECT_EQ(tresora_ac_identificationSector(2), -1);
}

} // namespace
