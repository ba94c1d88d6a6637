/* Card management API: one complete card operation per call.
 * Every function opens the card, runs its command(s), closes the card and brings
 * the host's view of the card up to date. C linkage, unmangled names. */
#ifndef VIX_CARD_MANAGEMENT_H
#define VIX_CARD_MANAGEMENT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. Positive values other than 2 are the card's status words;
 * -1 to -17 come from the transport (which names -4, -5, -8, -10, -12, -16 and -17
 * but never returns them), the rest from the library itself. */
#define TRESORA_AC_OK 0
/* The card did not answer in time. */
#define TRESORA_AC_ERR_TIMEOUT (-1)
#define TRESORA_AC_ERR_NO_MEMORY (-2)
/* The device cannot be opened (or reopened between commands). */
#define TRESORA_AC_ERR_OPEN (-3)
#define TRESORA_AC_ERR_WRONG_DIRECTION (-4)
#define TRESORA_AC_ERR_FREE (-5)
#define TRESORA_AC_ERR_CLOSE (-6)
/* The card's answer cannot be what it claims; also a session list that repeats a
 * page instead of ending. */
#define TRESORA_AC_ERR_MALFORMED_ANSWER (-7)
#define TRESORA_AC_ERR_FLUSH (-8)
/* A command block could not be written to the device. */
#define TRESORA_AC_ERR_WRITE (-9)
#define TRESORA_AC_ERR_FCNTL (-10)
/* An answer block could not be read from the device. */
#define TRESORA_AC_ERR_READ (-11)
#define TRESORA_AC_ERR_READ_BYTE (-12)
/* A command, or its data (a PIN, a chunk), is longer than the card takes. */
#define TRESORA_AC_ERR_COMMAND_TOO_LONG (-13)
/* The device answered with a block of the wrong kind. */
#define TRESORA_AC_ERR_ANSWER_TYPE (-14)
/* A null or out-of-range argument; nothing was sent. */
#define TRESORA_AC_ERR_INVALID_PARAMETER (-15)
#define TRESORA_AC_ERR_NOT_SUPPORTED (-16)
#define TRESORA_AC_ERR_INTERNAL (-17)
#define TRESORA_AC_REMOUNT_INCOMPLETE 2
#define TRESORA_AC_ERR_REFRESH (-24)
#define TRESORA_AC_ERR_BUFFER_TOO_SMALL (-26)
#define TRESORA_AC_ERR_SYSTEM_CONFIGURATION (-27)
#define TRESORA_AC_ERR_FIRMWARE_UNCHANGED (-28)
/* Another program kept the card busy for longer than any card command takes. */
#define TRESORA_AC_ERR_CARD_IN_USE (-29)
/* The device and its whole disk carry no identification record: not a card. */
#define TRESORA_AC_ERR_NOT_A_CARD (-30)
/* A long command outlasted its time-out; the card answered again later, but its
 * state does not tell whether the command was carried out. */
#define TRESORA_AC_ERR_OUTCOME_UNKNOWN (-31)
/* A long command outlasted its time-out and the card did not answer again within
 * the wait that followed: whether it was carried out is unknown. */
#define TRESORA_AC_ERR_CARD_SILENT (-32)
/* The PIN was changed, but the Admin PIN derived from it could not follow. */
#define TRESORA_AC_ERR_ADMIN_PIN_BEHIND (-33)
/* The card's partition is not mounted on the host, or its files cannot be read. */
#define TRESORA_AC_ERR_CONTENT_UNREADABLE (-34)

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

/* The card's length limits of its secrets, in bytes, both ends included. */
#define TRESORA_AC_PIN_MIN_LENGTH 4
#define TRESORA_AC_PIN_MAX_LENGTH 15
#define TRESORA_AC_ADMIN_PIN_MIN_LENGTH 8
#define TRESORA_AC_ADMIN_PIN_MAX_LENGTH 20
/* Tries an activation may give the PIN and the Admin PIN. */
#define TRESORA_AC_RETRY_COUNTER_MIN 3
#define TRESORA_AC_RETRY_COUNTER_MAX 15

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

/* The card's rules for its secrets. Inline, so that the virtual card, which does not
 * link this library, applies the very same ones. */
static inline int tresora_ac_pinLengthIsValid(uint32_t length)
{
    return length >= TRESORA_AC_PIN_MIN_LENGTH && length <= TRESORA_AC_PIN_MAX_LENGTH;
}

static inline int tresora_ac_adminPinLengthIsValid(uint32_t length)
{
    return length >= TRESORA_AC_ADMIN_PIN_MIN_LENGTH && length <= TRESORA_AC_ADMIN_PIN_MAX_LENGTH;
}

/* Length of the Admin PIN derived from a PIN of `pinLength` bytes. */
#define TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(pinLength)                                             \
    ((pinLength) > TRESORA_AC_ADMIN_PIN_MIN_LENGTH ? (pinLength) : TRESORA_AC_ADMIN_PIN_MIN_LENGTH)

/* The Admin PIN of a card without a separate Admin user: the PIN right-padded with '0'
 * to the shortest Admin PIN; a longer PIN is its own Admin PIN. Both front ends must
 * derive the same bytes, or one cannot reset a card the other activated.
 * adminPinLength: capacity of adminPin on entry, which needs
 * TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(pinLength) bytes; the Admin PIN's length on return.
 * adminPin may be pin itself. */
static inline int tresora_ac_calculateAdminPinFromPin(const unsigned char* pin, uint32_t pinLength,
                                                      unsigned char* adminPin,
                                                      uint32_t* adminPinLength)
{
    const uint32_t length = TRESORA_AC_DERIVED_ADMIN_PIN_LENGTH(pinLength);
    uint32_t i;
    if ((pin == NULL && pinLength > 0) || adminPin == NULL || adminPinLength == NULL)
        return TRESORA_AC_ERR_INVALID_PARAMETER;
    if (*adminPinLength < length)
        return TRESORA_AC_ERR_BUFFER_TOO_SMALL;
    for (i = 0; i < length; ++i)
        adminPin[i] = i < pinLength ? pin[i] : (unsigned char)'0';
    *adminPinLength = length;
    return TRESORA_AC_OK;
}

/* The name of a result code as this header spells it ("TRESORA_AC_ERR_TIMEOUT"),
 * status words included; null for a code this header does not name. */
const char* tresora_ac_errorName(int code);

/* Whether the device carries a card's identification record, or, for a block
 * device, the whole disk it belongs to does; an image file must carry it itself.
 * Reads only. 0 when one does; TRESORA_AC_ERR_NOT_A_CARD when the device was read and
 * neither does, and at once for anything but a block device or a regular file;
 * TRESORA_AC_ERR_OPEN when the device cannot be examined, opened or read (the
 * operation itself will report that). */
int tresora_ac_checkIdentification(const char* devicePath);
/* The same, and on 0 the generation (tresora_ac_generation) of the record found. */
int tresora_ac_identifyCard(const char* devicePath, uint32_t* generation);

/* The identification record, for a caller that reads the sector itself: the two
 * functions below only judge bytes and touch no device. */
#define TRESORA_AC_ID_SECTOR_SIZE 512
#define TRESORA_AC_ID_CID_SIZE 16

typedef enum tresora_ac_generation {
    TRESORA_AC_GENERATION_NONE = 0, /* the sector holds no record */
    TRESORA_AC_GENERATION_CCV1 = 1,
    TRESORA_AC_GENERATION_CCV2 = 2,
    /* the maker's identification text, naming a generation this library does not know */
    TRESORA_AC_GENERATION_UNKNOWN = 3
} tresora_ac_generation;

typedef struct tresora_ac_identification
{
    uint32_t generation; /* tresora_ac_generation */
    unsigned char cid[TRESORA_AC_ID_CID_SIZE];
    uint8_t securityActive; /* 1: security features active */
    uint8_t readOnly;       /* 1: the card is read-only */
    uint8_t incompatibility;
    uint8_t securityFlags;
} tresora_ac_identification;

/* Sector number (of TRESORA_AC_ID_SECTOR_SIZE bytes) of the n-th place a record may
 * be, looked at for n = 0, 1, ... in this order; -1 past the last. */
int64_t tresora_ac_identificationSector(int n);

/* Reads the record in `sector`, `size` bytes the caller read from one of those
 * places. 0 with *record filled; TRESORA_AC_ERR_BUFFER_TOO_SMALL when `size` cannot
 * hold the record's fields; TRESORA_AC_ERR_INVALID_PARAMETER for a null pointer. */
int tresora_ac_decodeIdentification(const unsigned char* sector, uint32_t size,
                                    tresora_ac_identification* record);

/* `notice` is called, with the device path, when an operation has waited 1 s for
 * another program to release the card; null for no notice. Process-wide. */
void tresora_ac_setWaitNotice(void (*notice)(const char* devicePath));

/* Activation, wipe, factory reset and firmware apply wait for a card that outlasts
 * their time-out to answer again (at most 10 minutes), then decide by what the card
 * reports. `notice` is called every 5 s of that wait with the seconds waited; null
 * for none. Process-wide. */
typedef void (*tresora_ac_answer_notice)(const char* devicePath, uint32_t secondsWaited);
void tresora_ac_setAnswerWaitNotice(tresora_ac_answer_notice notice);

/* Keeps the card for this process from tresora_ac_holdCard until
 * tresora_ac_releaseCard, so that no other program's command comes between the
 * exchanges of one command of several (a firmware update). One card at a time,
 * for the calling thread: the other threads of the process wait as other programs do.
 * 0; TRESORA_AC_ERR_CARD_IN_USE when another program kept it too long;
 * TRESORA_AC_ERR_OPEN when it cannot be examined or another card is held. */
int tresora_ac_holdCard(const char* devicePath);
/* Only the thread that took the card gives it back. */
void tresora_ac_releaseCard(void);

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
/* The PIN change both front ends use: on a card without a separate Admin user the
 * Admin PIN derived from the PIN changes with it, over the same opening of the card.
 * TRESORA_AC_ERR_ADMIN_PIN_BEHIND when the PIN changed but the Admin PIN did not;
 * *adminPinResult then holds that step's code (else 0). */
int tresora_ac_changePinKeepingAdminPin(const char* devicePath, const unsigned char* oldPin,
                                        uint32_t oldLength, const unsigned char* newPin,
                                        uint32_t newLength, int* adminPinResult);
int tresora_ac_changeAdminPin(const char* devicePath, const unsigned char* oldAdminPin,
                              uint32_t oldLength, const unsigned char* newAdminPin,
                              uint32_t newLength);
int tresora_ac_unblockPin(const char* devicePath, const unsigned char* adminPin,
                          uint32_t adminPinLength, const unsigned char* newPin,
                          uint32_t newPinLength);
int tresora_ac_setDeviceReadOnly(const char* devicePath);
int tresora_ac_setDeviceReadWrite(const char* devicePath);

/* One page of the session list, from the entry at firstIndex. For the whole list,
 * call tresora_ac_listAllSessions. */
int tresora_ac_listSessions(const char* devicePath, uint32_t firstIndex, tresora_ac_session* page);
/* The whole session list, page after page until an empty page, over one opening of
 * the card. `sessions` has room for `capacity` entries (null when 0); `count` receives
 * the number of sessions listed, of which the first `capacity` are stored. Returns
 * TRESORA_AC_ERR_BUFFER_TOO_SMALL when they were more than `capacity` (call again
 * with room for `count`), TRESORA_AC_ERR_MALFORMED_ANSWER when a page repeats the one
 * before it (a card that ignores the index never ends its list), or a page's failure;
 * `count` then holds the sessions listed before it. A list ends at the largest index. */
int tresora_ac_listAllSessions(const char* devicePath, tresora_ac_session_entry* sessions,
                               uint32_t capacity, uint32_t* count);
int tresora_ac_switchToSession(const char* devicePath, uint32_t sessionId);
int tresora_ac_discardCurrentSession(const char* devicePath);
/* Bytes recorded in the current (unclosed) session, each file counted in whole 512-byte
 * sectors as the session list counts them. The card reports no size for that session,
 * so it is measured from the files the card presents through the host's mount of the
 * partition (found by device number): valid while the card shows its current session,
 * which it does unless switched to a recorded one. Reads only; sends no command.
 * TRESORA_AC_ERR_CONTENT_UNREADABLE when nothing is mounted or a folder cannot be read. */
int tresora_ac_getCurrentSessionSize(const char* devicePath, uint64_t* bytes);
int tresora_ac_startNewSession(const char* devicePath);
int tresora_ac_firmwareUpdateTransfer(const char* devicePath, uint32_t offset,
                                      const unsigned char* chunk, uint16_t chunkLength);
int tresora_ac_firmwareUpdateApply(const char* devicePath, const unsigned char* pin,
                                   uint32_t pinLength, uint32_t totalLength);

#ifdef __cplusplus
}
#endif

#endif
