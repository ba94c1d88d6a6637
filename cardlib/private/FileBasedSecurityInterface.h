/* File-based command transport (FSI): 512-byte command and answer blocks
 * exchanged through a fixed position of the card's storage. C linkage. */
#ifndef VIX_FILE_BASED_SECURITY_INTERFACE_H
#define VIX_FILE_BASED_SECURITY_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#include "CardBlockLayout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FSI_MAX_COMMAND_SIZE 0x7fff
#define FSI_DEFAULT_TIMEOUT_MS 120000
#define FSI_BUSY_SLEEP_MS 10

enum {
    FSI_RET_OK = 0,
    FSI_RET_TIMEOUT = -1,
    FSI_RET_MEM_ALLOC_ERR = -2,
    FSI_RET_OPEN_ERR = -3,
    FSI_RET_WRONG_COMM_DIR = -4,
    FSI_RET_MEM_FREE_ERR = -5,
    FSI_RET_CLOSE_ERR = -6,
    FSI_RET_APDU_SIZE_ERR = -7,
    FSI_RET_FLUSH_ERR = -8,
    FSI_RET_WRITE_ERR = -9,
    FSI_RET_FCNTL_ERR = -10,
    FSI_RET_READ_ERR = -11,
    FSI_RET_READ_BYTE_ERR = -12,
    FSI_RET_PARAM_APDU_SIZE_ERR = -13,
    FSI_RET_PAYLOAD_TYPE_ERR = -14,
    FSI_RET_INVALID_PARAMETER = -15,
    FSI_FSI_NOT_SUPPORTED = -16,
    FSI_INTERNAL_ERROR = -17
};

/* One open channel. Allocated by the open functions, freed by fsi_close. */
typedef struct SFC_FSI
{
    unsigned char* ioBlock; /* 512 bytes, 512-aligned: command and answer blocks */
    int fd;                 /* file mode: 0 = suspended, reopened on next transfer */
    char* path;
    unsigned char rawMode;     /* 0 file mode, 1 raw mode */
    size_t savedBlockSize;     /* raw mode: 512 */
    unsigned char* savedBlock; /* raw mode: first 512 bytes of the device, read at open */
    unsigned char sePresent;
    uint64_t blockOffset; /* 0 file mode, FSI_RAW_BLOCK_OFFSET raw mode */
    /* Raw mode: what the transfer block's position held before the current command,
     * and the last command block written there. A command nobody answered is undone,
     * so a device that is not a card keeps its data. */
    unsigned char* blockBeforeCommand;
    unsigned char* lastCommandBlock;
    unsigned char commandPending;
} SFC_FSI;

int fsi_open(const char* path, SFC_FSI** out);
int fsi_open_raw(const char* path, SFC_FSI** out);
/* Raw mode writes nothing back to the device: no card data is ever overwritten. */
int fsi_close(SFC_FSI* channel);
int fsi_suspend_file(SFC_FSI* channel);

int fsi_send(SFC_FSI* channel, unsigned char payloadType, const unsigned char* command,
             unsigned length);
/* answerLength: capacity on entry, bytes stored on return. A negative timeout
 * means FSI_DEFAULT_TIMEOUT_MS. Results besides 0:
 *  -15 capacity below 2, or the announced length exceeds the capacity;
 *  -7  the announced length exceeds what one block can carry (508), although the
 *      capacity would allow it: nothing is copied past the block;
 *  -14 answer of another type; -11 read failure; -3 reopening failed;
 *  -1  timeout: the answer holds 62 00 and *answerLength is 2. In raw mode, when
 *      the block still holds the command, the bytes it replaced are written back.
 * On any other failure *answerLength is left unchanged. The transfer block is
 * cleared before returning, since it may still hold the command. */
int fsi_receive(SFC_FSI* channel, unsigned char expectedType, unsigned char* answer,
                unsigned* answerLength, long timeoutMs);
int fsi_transmit_se(SFC_FSI* channel, const unsigned char* apdu, unsigned apduLength,
                    unsigned char* answer, unsigned* answerLength, long timeoutMs);
int fsi_transmit_fc(SFC_FSI* channel, const unsigned char* apdu, unsigned apduLength,
                    unsigned char* answer, unsigned* answerLength, long timeoutMs);

/* Card-terminal commands (class 0x20). When fsi_request or fsi_reset gets a
 * 2-byte answer other than 90 00, the channel takes the secure element as absent
 * and the answer becomes a 17-byte stand-in answer-to-reset; a capacity below 17
 * then gives -15 (the 2-byte answer stays). */
int fsi_request(SFC_FSI* channel, unsigned char* answer, unsigned* answerLength, long timeoutMs);
int fsi_reset(SFC_FSI* channel, unsigned char unit, unsigned char* answer, unsigned* answerLength,
              long timeoutMs);
int fsi_eject(SFC_FSI* channel, long timeoutMs);
int fsi_status(SFC_FSI* channel, unsigned char tag, unsigned char* answer, unsigned* answerLength,
               long timeoutMs);

/* Name of a code from -17 to 0; null for any other value. */
const char* fsi_errorAsString(int code);

#ifdef __cplusplus
}
#endif

#endif
