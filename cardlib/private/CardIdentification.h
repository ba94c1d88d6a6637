/* The identification record: a 512-byte sector that the card's firmware fills in, at
 * sector 26 or, failing that, sector 13 of the card's block device. It is how a host
 * tells a card from any other disk before sending it anything. Plain C, for every
 * program that has to recognise a card (desktop scan, command-line tool, device probes,
 * the virtual card that writes it). */
#ifndef VIX_CARD_IDENTIFICATION_H
#define VIX_CARD_IDENTIFICATION_H

#include <stddef.h>
#include <string.h>

#define CARD_ID_SECTOR_SIZE 512
/* Looked up in this order. */
#define CARD_ID_PRIMARY_SECTOR 26
#define CARD_ID_FALLBACK_SECTOR 13

/* Byte offsets inside the sector. */
#define CARD_ID_TEXT_OFFSET 0
#define CARD_ID_TEXT_LIMIT 32 /* the text and its NUL end before the CID */
#define CARD_ID_CID_OFFSET 32
#define CARD_ID_CID_SIZE 16
#define CARD_ID_SECURITY_STATE_OFFSET 48 /* 1: security features active */
#define CARD_ID_READ_ONLY_OFFSET 50      /* 1: the card is read-only */
#define CARD_ID_INCOMPATIBILITY_OFFSET 51
#define CARD_ID_SECURITY_FLAGS_OFFSET 52

#define CARD_ID_TEXT_PREFIX "Kendrova"
#define CARD_ID_TEXT_CCV1 "Kendrova-SFC-SD-ccv1"
#define CARD_ID_TEXT_CCV2 "Kendrova-SFC-SD-ccv2"

/* Identification generation named by a record. */
#define CARD_ID_NONE 0
#define CARD_ID_CCV1 1
#define CARD_ID_CCV2 2

static inline int cardIdentificationTextIs(const unsigned char* sector, size_t size,
                                           const char* text)
{
    const size_t length = strlen(text);
    return size > length && length < CARD_ID_TEXT_LIMIT &&
           memcmp(sector + CARD_ID_TEXT_OFFSET, text, length) == 0 &&
           sector[CARD_ID_TEXT_OFFSET + length] == 0;
}

/* Which generation the record in `sector` (size bytes, normally 512) names:
 * CARD_ID_CCV1, CARD_ID_CCV2, or CARD_ID_NONE when the sector holds no record. */
static inline int cardIdentificationGeneration(const unsigned char* sector, size_t size)
{
    if (sector == NULL)
        return CARD_ID_NONE;
    if (cardIdentificationTextIs(sector, size, CARD_ID_TEXT_CCV1))
        return CARD_ID_CCV1;
    if (cardIdentificationTextIs(sector, size, CARD_ID_TEXT_CCV2))
        return CARD_ID_CCV2;
    return CARD_ID_NONE;
}

/* Byte offset of the n-th sector to look at (n = 0, 1), or -1 past the last. */
static inline long long cardIdentificationSectorOffset(int n)
{
    if (n == 0)
        return (long long)CARD_ID_PRIMARY_SECTOR * CARD_ID_SECTOR_SIZE;
    if (n == 1)
        return (long long)CARD_ID_FALLBACK_SECTOR * CARD_ID_SECTOR_SIZE;
    return -1;
}

#endif
