// The card command set: one free function per card command. Every function
// returns an int: a negative transport code (FSI_RET_*), -13 for command data
// over its limit (nothing sent), -26 for a caller buffer that is too small, or
// the card's status word SW1*256+SW2. Queries marked "0 on success" return 0
// instead of 0x9000. Outputs are written only on success.
#ifndef VIX_SFC_CARD_MANAGER_H
#define VIX_SFC_CARD_MANAGER_H

#include <cstdint>

#include "CardCommandCodes.h"
#include "CardManagement.h"
#include "FileBasedSecurityInterface.h"

#define SFC_ANSWER_CAPACITY 508
#define SFC_COMMAND_TIMEOUT_MS 1000
#define SFC_LONG_TIMEOUT_MS (-1) /* the transport's default, 120000 ms */
#define SFC_MAX_DATA_LENGTH 400
#define SFC_MAX_LC 255
#define SFC_OPEN_ATTEMPTS 3
#define SFC_OPEN_RETRY_DELAY_MS 100

#define SFC_SESSION_RECORD_SIZE 14
#define SFC_PROFILE_WIRE_SIZE 16
#define SFC_MAX_PROFILES_PER_SET 15

#define SFC_WHO_USER 0
#define SFC_WHO_ADMIN 1

// Answer of a malformed shape, reported with the transport's "answer size" code:
// no status word (fewer than 2 bytes), a status word no card gives (a length that
// overstates the answer), data along with a refusal or with a command that answers
// none, a record count larger than the records the answer carries, or a query whose
// answer is shorter than its value (the card status through its read-only area, a
// controller identifier of at least one byte). The status records of the NVRAM and
// exception queries are not malformed when short: a field the answer does not carry
// reads 0. Decoders never read the status word or the buffer beyond the answer.
#define SFC_ERR_MALFORMED_ANSWER FSI_RET_APDU_SIZE_ERR

// Status word of the last two bytes of an answer; SFC_ERR_MALFORMED_ANSWER when
// there are fewer than 2.
int getSW(const unsigned char* answer, unsigned int length);

struct ProtectionProfile
{
    uint32_t kind;
    uint64_t value;
};

namespace sfc {

struct cardStatus
{
    uint8_t reserved0;
    uint8_t state;
    uint8_t pinRetryCounter;
    uint8_t adminRetryCounter;
    uint32_t reserved4;
    uint8_t reserved8[2];
    uint32_t cdromArea;
    uint8_t securityFlags;
};

struct cardStatusException
{
    uint32_t values[5];
};

struct cardStatusNvram
{
    uint8_t bytes4to5[2];
    uint8_t byte18;
    uint8_t zero;
    uint32_t bytes0to3;
    uint32_t bytes6to9;
    uint32_t bytes10to13;
    uint32_t bytes14to17;
};

// Channels: up to 3 attempts, 100 ms after each failure.
int open(const char* path, SFC_FSI** channel);
int open_raw(const char* path, SFC_FSI** channel);
int close(SFC_FSI* channel); // always 0

// Status queries.
int getStatus(SFC_FSI* channel, cardStatus* status);
// length: capacity on entry (negative counts as none), identifier length on return;
// -26 when the identifier does not fit.
int getControllerId(SFC_FSI* channel, unsigned char* id, int* length); // 0 on success
int getAppVersion(SFC_FSI* channel, unsigned int* version);            // 0 on success

// Security commands. Command data must fit the one-byte Lc (at most 255 bytes, below
// the 400 the card accepts); larger data gives -13 and nothing is sent. A null
// pointer with a non-zero length gives -15.
int activate(SFC_FSI* channel, unsigned char mode, const unsigned char* pin, unsigned pinLength,
             const unsigned char* adminPin, unsigned adminPinLength, unsigned retryCounter,
             const unsigned char* flags);
int verify(SFC_FSI* channel, const unsigned char* pin, unsigned pinLength);
int lockCard(SFC_FSI* channel);
int changePassword(SFC_FSI* channel, unsigned char who, const unsigned char* oldPassword,
                   unsigned oldLength, const unsigned char* newPassword, unsigned newLength);
int changeUserPassword(SFC_FSI* channel, const unsigned char* oldPassword, unsigned oldLength,
                       const unsigned char* newPassword, unsigned newLength);
int changeSecurityOfficerPassword(SFC_FSI* channel, const unsigned char* oldPassword,
                                  unsigned oldLength, const unsigned char* newPassword,
                                  unsigned newLength);
int unblockPassword(SFC_FSI* channel, const unsigned char* adminPin, unsigned adminPinLength,
                    const unsigned char* newPin, unsigned newPinLength);
int reset(SFC_FSI* channel, unsigned char mode, const unsigned char* data, unsigned length);
int setDeviceReadOnly(SFC_FSI* channel); // 0x6F01 reported as 0x9000
int setCdromAreaBackToDefault(SFC_FSI* channel);

// Sessions and firmware update. listSessions: SFC_ERR_MALFORMED_ANSWER, list
// untouched, when the count exceeds 35 or the records the answer carries. Chunks
// over 249 bytes and PINs over 250 bytes do not fit Lc: -13.
int listSessions(SFC_FSI* channel, unsigned int firstIndex, tresora_ac_session* list);
int switchToSession(SFC_FSI* channel, unsigned int sessionId);
int discardCurrentSession(SFC_FSI* channel);
int startNewSession(SFC_FSI* channel);
int firmwareUpdateTransfer(SFC_FSI* channel, unsigned int offset, const unsigned char* chunk,
                           unsigned short chunkLength);
int firmwareUpdateApply(SFC_FSI* channel, const unsigned char* pin, unsigned int pinLength,
                        unsigned int imageSize);

// Protection profiles, CD-ROM area, NVRAM and further queries. getId, getBaseFWVersion,
// getPartition, getOverallSize* and the size query of readNVRAM give
// SFC_ERR_MALFORMED_ANSWER when the answer is shorter than the value.
// getProtectionProfiles: *count is 0 unless the answer carries every profile it
// announces (else SFC_ERR_MALFORMED_ANSWER); -26 with *count set when capacity is
// below it. setProtectionProfiles: more than 15 profiles do not fit Lc: -13.
int getId(SFC_FSI* channel, unsigned char* id16); // 0 on success
int getBaseFWVersion(SFC_FSI* channel, char* first8, char* next4);
int getStatus(SFC_FSI* channel, cardStatusNvram* status);
int getStatus(SFC_FSI* channel, cardStatusException* status);
int getProtectionProfiles(SFC_FSI* channel, unsigned int* count, ProtectionProfile* profiles,
                          unsigned int capacity); // 0 on success
int getPartition(SFC_FSI* channel, unsigned char* partition64);
int getOverallSizeSD(SFC_FSI* channel, unsigned int* size);
int getOverallSizeUSB(SFC_FSI* channel, unsigned int* size);
int deactivate(SFC_FSI* channel, const unsigned char* pin, unsigned int length);
int unblock(SFC_FSI* channel, const unsigned char* adminPin, unsigned adminPinLength,
            const unsigned char* newPin, unsigned newPinLength);
int setReadException(SFC_FSI* channel, const unsigned char* data, unsigned int length,
                     unsigned int number, bool flag);
int setCdromArea(SFC_FSI* channel, const unsigned char* data, unsigned int length,
                 unsigned int number, bool flag);
int setCdromAreaAndReadException(SFC_FSI* channel, unsigned int cdromArea,
                                 unsigned int readException);
int clearProtectionProfiles(SFC_FSI* channel); // 0 on success
int setProtectionProfiles(SFC_FSI* channel, const ProtectionProfile* profiles,
                          unsigned int count); // 0 on success
int customizeCard(SFC_FSI* channel, int p2, unsigned char length, const unsigned char* data);
int configureNVRAM(SFC_FSI* channel, unsigned int first, unsigned int second, unsigned int third,
                   unsigned int fourth, bool flag);                 // 0 on success
int setExtendedSecurityFlags(SFC_FSI* channel, unsigned int flags); // 0 on success
// length: capacity of buffer on entry, data length on return; -26 (nothing copied)
// when the data does not fit. Without a buffer: the NVRAM size the card reports.
int readNVRAM(SFC_FSI* channel, unsigned char* buffer, unsigned int* length, bool flag,
              unsigned int offset); // 0 on success
int writeNVRAM(SFC_FSI* channel, const unsigned char* data, unsigned int length, bool noOffset,
               bool flag, unsigned int offset); // 0 on success

} // namespace sfc

#endif
