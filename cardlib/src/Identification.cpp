#include <cstring>

#include "CardIdentification.h"
#include "CardManagement.h"

static_assert(TRESORA_AC_ID_SECTOR_SIZE == CARD_ID_SECTOR_SIZE &&
                  TRESORA_AC_ID_CID_SIZE == CARD_ID_CID_SIZE,
              "the API's record sizes are the layout's");

namespace {

uint32_t generationOf(const unsigned char* sector, uint32_t size)
{
    switch (cardIdentificationGeneration(sector, size)) {
    case CARD_ID_CCV1:
        return TRESORA_AC_GENERATION_CCV1;
    case CARD_ID_CCV2:
        return TRESORA_AC_GENERATION_CCV2;
    default:
        break;
    }
    const std::size_t prefixLength = std::strlen(CARD_ID_TEXT_PREFIX);
    return std::memcmp(sector + CARD_ID_TEXT_OFFSET, CARD_ID_TEXT_PREFIX, prefixLength) == 0
               ? TRESORA_AC_GENERATION_UNKNOWN
               : TRESORA_AC_GENERATION_NONE;
}

} // namespace

int64_t tresora_ac_identificationSector(int n)
{
    const long long offset = cardIdentificationSectorOffset(n);
    return offset < 0 ? -1 : offset / CARD_ID_SECTOR_SIZE;
}

int tresora_ac_decodeIdentification(const unsigned char* sector, uint32_t size,
                                    tresora_ac_identification* record)
{
    if (sector == nullptr || record == nullptr)
        return TRESORA_AC_ERR_INVALID_PARAMETER;
    *record = tresora_ac_identification{};
    if (size <= CARD_ID_SECURITY_FLAGS_OFFSET)
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    record->generation = generationOf(sector, size);
    std::memcpy(record->cid, sector + CARD_ID_CID_OFFSET, CARD_ID_CID_SIZE);
    record->securityActive = sector[CARD_ID_SECURITY_STATE_OFFSET];
    record->readOnly = sector[CARD_ID_READ_ONLY_OFFSET];
    record->incompatibility = sector[CARD_ID_INCOMPATIBILITY_OFFSET];
    record->securityFlags = sector[CARD_ID_SECURITY_FLAGS_OFFSET];
    return TRESORA_AC_OK;
}
