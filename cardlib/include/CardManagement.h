/* Card management API: one complete card operation per call.
 * Every function opens the card, runs its command(s), closes the card and brings
 * the host's view of the card up to date. C linkage, unmangled names. */
#ifndef VIX_CARD_MANAGEMENT_H
#define VIX_CARD_MANAGEMENT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TRESORA_AC_LIBRARY_VERSION "1.1.0"

/* Result codes. Positive values other than 2 are the card's status words;
 * -1 to -17 are the transport's FSI_RET_* codes. */
#define TRESORA_AC_OK 0
/* The card's answer cannot be what it claims (FSI_RET_APDU_SIZE_ERR); also a
 * session list that a front end sees repeating itself instead of ending. */
#define TRESORA_AC_ERR_MALFORMED_ANSWER (-7)
#define TRESORA_AC_REMOUNT_INCOMPLETE 2
#define TRESORA_AC_ERR_REFRESH (-24)
#define TRESORA_AC_ERR_BUFFER_TOO_SMALL (-26)
#define TRESORA_AC_ERR_SYSTEM_CONFIGURATION (-27)
#define TRESORA_AC_ERR_FIRMWARE_UNCHANGED (-28)
/* Another program kept the card busy for longer than any card command takes. */
#define TRESORA_AC_ERR_CARD_IN_USE (-29)
/* The device and its whole disk carry no identification record: not a card. */
#define TRESORA_AC_ERR_NOT_A_CARD (-30)

/* Card status words with a meaning of their own. */
#define TRESORA_AC_SW_SUCCESS 0x9000
#define TRESORA_AC_SW_READ_ONLY_SET 0x6F01
#define TRESORA_AC_SW_WRONG_PIN 0x6F02
#define TRESORA_AC_SW_RETRIES_EXCEEDED 0x6F03
#define TRESORA_AC_SW_BLOCKED 0x6F04
#define TRESORA_AC_SW_PIN_LENGTH 0x6F05
#define TRESORA_AC_SW_INVALID_FILE_SYSTEM 0x6F0B
#define TRESORA_AC_SW_TIMEOUT 0x6200
#define TRESORA_AC_SW_NO_SECURE_ELEMENT 0x6E00

/* Security flags: a separate Admin user whose Admin PIN is independent of the PIN. */
#define TRESORA_AC_FLAG_USER_ADMIN_SEPARATION 0x02

/* cdromArea value of a card that is read-only as a whole. */
#define TRESORA_AC_CDROM_AREA_WHOLE_CARD 0xFFFFFFFFu

typedef enum tresora_ac_state {
    TRESORA_AC_STATE_TRANSPARENT = 0,
    TRESORA_AC_STATE_UNLOCKED = 1,
    TRESORA_AC_STATE_LOCKED = 2
} tresora_ac_state;

#define TRESORA_AC_MAX_SESSIONS_PER_PAGE 35
#define TRESORA_AC_SESSION_DATE_SIZE 20

typedef struct tresora_ac_session_entry
{
    uint32_t id;
    char date[TRESORA_AC_SESSION_DATE_SIZE]; /* local "%Y-%m-%dT%H:%M:%S", all NUL when invalid */
    uint32_t sectorCount;                    /* 512-byte sectors */
} tresora_ac_session_entry;

/* One page of the session list. */
typedef struct tresora_ac_session
{
    uint32_t count; /* valid entries, 0 to 35 */
    tresora_ac_session_entry entries[TRESORA_AC_MAX_SESSIONS_PER_PAGE];
} tresora_ac_session;

const char* tresora_ac_getLibraryVersion(void);

/* Whether the device, or the whole disk it belongs to, carries a card's
 * identification record. Reads only. 0 when one does; TRESORA_AC_ERR_NOT_A_CARD
 * when the device was read and neither does; FSI_RET_OPEN_ERR when the device
 * cannot be opened or read (the operation itself will report that). */
int tresora_ac_checkIdentification(const char* devicePath);

/* `notice` is called, with the device path, when an operation has waited 1 s for
 * another program to release the card; null for no notice. Process-wide. */
void tresora_ac_setWaitNotice(void (*notice)(const char* devicePath));

int tresora_ac_getStatus(const char* devicePath, uint32_t* state, uint32_t* readOnly,
                         uint32_t* pinRetryCounter, uint32_t* adminPinRetryCounter,
                         uint32_t* securityFlags);
/* length: capacity of buffer on entry, identifier length on return. */
int tresora_ac_getControllerId(const char* devicePath, unsigned char* buffer, int32_t* length);
int tresora_ac_getFirmwareVersion(const char* devicePath, uint32_t* version);

/* securityFlags may be null: then no flags byte is sent. */
int tresora_ac_activate(const char* devicePath, const unsigned char* pin, uint32_t pinLength,
                        const unsigned char* adminPin, uint32_t adminPinLength,
                        uint32_t retryCounter, const unsigned char* securityFlags);
int tresora_ac_wipeContent(const char* devicePath, const unsigned char* pin, uint32_t pinLength);
int tresora_ac_factoryReset(const char* devicePath, const unsigned char* adminPin,
                            uint32_t adminPinLength);
int tresora_ac_login(const char* devicePath, const unsigned char* pin, uint32_t pinLength);
int tresora_ac_logout(const char* devicePath);
int tresora_ac_changePin(const char* devicePath, const unsigned char* oldPin, uint32_t oldLength,
                         const unsigned char* newPin, uint32_t newLength);
int tresora_ac_changeAdminPin(const char* devicePath, const unsigned char* oldAdminPin,
                              uint32_t oldLength, const unsigned char* newAdminPin,
                              uint32_t newLength);
int tresora_ac_unblockPin(const char* devicePath, const unsigned char* adminPin,
                          uint32_t adminPinLength, const unsigned char* newPin,
                          uint32_t newPinLength);
int tresora_ac_setDeviceReadOnly(const char* devicePath);
int tresora_ac_setDeviceReadWrite(const char* devicePath);

int tresora_ac_listSessions(const char* devicePath, uint32_t firstIndex, tresora_ac_session* page);
int tresora_ac_switchToSession(const char* devicePath, uint32_t sessionId);
int tresora_ac_discardCurrentSession(const char* devicePath);
int tresora_ac_startNewSession(const char* devicePath);
int tresora_ac_firmwareUpdateTransfer(const char* devicePath, uint32_t offset,
                                      const unsigned char* chunk, uint16_t chunkLength);
int tresora_ac_firmwareUpdateApply(const char* devicePath, const unsigned char* pin,
                                   uint32_t pinLength, uint32_t totalLength);

#ifdef __cplusplus
}
#endif

#endif
