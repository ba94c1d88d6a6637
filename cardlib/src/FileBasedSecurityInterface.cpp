#include "FileBasedSecurityInterface.h"

#include <cstdlib>
#include <cstring>

#include "CardCommandCodes.h"
#include "os-abstraction.h"

namespace {

const char DEFAULT_CONTENT[32] = "PLEASE DO NOT DELETE THIS FILE!";

const unsigned char DEFAULT_ATR[17] = {0x3B, 0x8B, 0x01, 'n', 'o', 'S',  'm',  'a', 'r',
                                       't',  'C',  'a',  'r', 'd', 0xE6, 0x90, 0x00};

const unsigned char FSI_REQUEST_SE[5] = {FSI_CT_CLA, FSI_CT_INS_REQUEST, 0x01, 0x01, 0x00};
const unsigned char FSI_EJECT_SE[5] = {FSI_CT_CLA, FSI_CT_INS_EJECT, 0x01, 0x00, 0x00};

const char* const err2string[] = {"FSI_RET_OK",
                                  "FSI_RET_TIMEOUT",
                                  "FSI_RET_MEM_ALLOC_ERR",
                                  "FSI_RET_OPEN_ERR",
                                  "FSI_RET_WRONG_COMM_DIR",
                                  "FSI_RET_MEM_FREE_ERR",
                                  "FSI_RET_CLOSE_ERR",
                                  "FSI_RET_APDU_SIZE_ERR",
                                  "FSI_RET_FLUSH_ERR",
                                  "FSI_RET_WRITE_ERR",
                                  "FSI_RET_FCNTL_ERR",
                                  "FSI_RET_READ_ERR",
                                  "FSI_RET_READ_BYTE_ERR",
                                  "FSI_RET_PARAM_APDU_SIZE_ERR",
                                  "FSI_RET_PAYLOAD_TYPE_ERR",
                                  "FSI_RET_INVALID_PARAMETER",
                                  "FSI_FSI_NOT_SUPPORTED",
                                  "FSI_INTERNAL_ERROR"};

const unsigned FSI_SW_SIZE = 2;
const unsigned char FSI_SW_TIMEOUT[2] = {0x62, 0x00};
const unsigned char FSI_SW_NO_SE[2] = {0x6E, 0x00};
const unsigned char FSI_SW_OK[2] = {0x90, 0x00};
const unsigned FSI_CT_COMMAND_SIZE = 5;
const unsigned FSI_EJECT_ANSWER_SIZE = 32;
const unsigned FSI_MORE_FOLLOWS_OFFSET = 33;
const unsigned FSI_LENGTH_OFFSET = 34;

char* copyPath(const char* path)
{
    const size_t size = strlen(path) + 1;
    auto* copy = static_cast<char*>(malloc(size));
    if (copy != nullptr)
        memcpy(copy, path, size);
    return copy;
}

void wipeAndFree(unsigned char* block)
{
    if (block != nullptr)
        explicit_bzero(block, FSI_BLOCK_SIZE);
    freeAlignedBuffer(block);
}

// Frees whatever part of a channel exists; the blocks may have held a PIN.
void freeChannel(SFC_FSI* channel)
{
    wipeAndFree(channel->ioBlock);
    wipeAndFree(channel->blockBeforeCommand);
    wipeAndFree(channel->lastCommandBlock);
    freeAlignedBuffer(channel->savedBlock);
    free(channel->path);
    free(channel);
}

// Allocates the record with its path copy and transfer block; null when memory is short.
SFC_FSI* newChannel(const char* path, int fd, unsigned char rawMode)
{
    auto* channel = static_cast<SFC_FSI*>(calloc(1, sizeof(SFC_FSI)));
    if (channel == nullptr)
        return nullptr;
    channel->fd = fd;
    channel->rawMode = rawMode;
    channel->sePresent = 1;
    channel->path = copyPath(path);
    channel->ioBlock = static_cast<unsigned char*>(allocAlignedBuffer(FSI_BLOCK_SIZE));
    bool undoBuffersMissing = false;
    if (rawMode) {
        channel->blockBeforeCommand =
            static_cast<unsigned char*>(allocAlignedBuffer(FSI_BLOCK_SIZE));
        channel->lastCommandBlock = static_cast<unsigned char*>(allocAlignedBuffer(FSI_BLOCK_SIZE));
        undoBuffersMissing =
            channel->blockBeforeCommand == nullptr || channel->lastCommandBlock == nullptr;
    }
    if (channel->path == nullptr || channel->ioBlock == nullptr || undoBuffersMissing) {
        freeChannel(channel);
        return nullptr;
    }
    return channel;
}

void clearTransferBlock(SFC_FSI* channel)
{
    explicit_bzero(channel->ioBlock, FSI_BLOCK_SIZE);
}

bool isSuspended(const SFC_FSI* channel)
{
    return !channel->rawMode && channel->fd == 0;
}

bool reopenCommunicationFile(SFC_FSI* channel)
{
    int fd = -1;
    if (openFile(channel->path, &fd, 1) != 0)
        return false;
    channel->fd = fd;
    return true;
}

int FsiWrite(SFC_FSI* channel, const unsigned char* block, size_t size)
{
    if (isSuspended(channel) && !reopenCommunicationFile(channel))
        return FSI_RET_OPEN_ERR;
    size_t written = 0;
    if (seekFile(channel->fd, channel->blockOffset) != 0 ||
        writeFile(channel->fd, block, size, &written) != 0 || written != size)
        return FSI_RET_WRITE_ERR;
    return FSI_RET_OK;
}

int FsiRead(SFC_FSI* channel)
{
    if (isSuspended(channel) && !reopenCommunicationFile(channel))
        return FSI_RET_OPEN_ERR;
    size_t got = 0;
    if (seekFile(channel->fd, channel->blockOffset) != 0 ||
        readFile(channel->fd, channel->ioBlock, FSI_BLOCK_SIZE, &got) != 0 || got != FSI_BLOCK_SIZE)
        return FSI_RET_READ_ERR;
    return FSI_RET_OK;
}

int writeCommandBlock(SFC_FSI* channel, unsigned char payloadType, const unsigned char* part,
                      unsigned length, bool moreFollows)
{
    unsigned char* block = channel->ioBlock;
    memcpy(block, FSI_COMMAND_IDENTIFIER, FSI_IDENTIFIER_SIZE);
    block[FSI_IDENTIFIER_SIZE] = payloadType;
    block[FSI_MORE_FOLLOWS_OFFSET] = moreFollows ? 1 : 0;
    block[FSI_LENGTH_OFFSET] = static_cast<unsigned char>(length >> 8);
    block[FSI_LENGTH_OFFSET + 1] = static_cast<unsigned char>(length);
    if (length != 0)
        memcpy(block + FSI_HEADER_SIZE, part, length);
    // Whatever the buffer held before (an earlier PIN) must not reach the device.
    memset(block + FSI_HEADER_SIZE + length, 0, FSI_BLOCK_SIZE - FSI_HEADER_SIZE - length);
    if (channel->rawMode) {
        memcpy(channel->lastCommandBlock, block, FSI_BLOCK_SIZE);
        channel->commandPending = 1;
    }
    return FsiWrite(channel, block, FSI_BLOCK_SIZE) == FSI_RET_OK ? FSI_RET_OK : FSI_RET_WRITE_ERR;
}

// Keeps what the transfer block's position holds, so that a command nobody takes can
// be undone.
int rememberBlockBeforeCommand(SFC_FSI* channel)
{
    if (!channel->rawMode)
        return FSI_RET_OK;
    const int read =
        readAt(channel->fd, channel->blockBeforeCommand, FSI_BLOCK_SIZE, channel->blockOffset);
    return read == 0 ? FSI_RET_OK : FSI_RET_WRITE_ERR;
}

void forgetCommand(SFC_FSI* channel)
{
    if (!channel->rawMode)
        return;
    channel->commandPending = 0;
    explicit_bzero(channel->lastCommandBlock, FSI_BLOCK_SIZE);
    explicit_bzero(channel->blockBeforeCommand, FSI_BLOCK_SIZE);
}

// Gives the device back the bytes our command replaced; the command is forgotten.
void undoCommand(SFC_FSI* channel)
{
    if (channel->rawMode && channel->commandPending)
        writeAt(channel->fd, channel->blockBeforeCommand, FSI_BLOCK_SIZE, channel->blockOffset);
    forgetCommand(channel);
}

// A device that still holds our command when the wait ends is no card that took it.
// A block the card changed (busy, answer) belongs to the card and is left alone.
bool lastPollSawOurCommand(const SFC_FSI* channel)
{
    return channel->rawMode && channel->commandPending &&
           memcmp(channel->ioBlock, channel->lastCommandBlock, FSI_BLOCK_SIZE) == 0;
}

enum class Poll { Waiting, Busy, Answered };

Poll classifyBlock(const unsigned char* block)
{
    if (memcmp(block, FSI_COMMAND_IDENTIFIER, FSI_IDENTIFIER_SIZE) == 0)
        return Poll::Waiting;
    if (block[0] == FSI_PAYLOAD_BUSY)
        return Poll::Busy;
    return Poll::Answered;
}

int takeAnswer(const unsigned char* block, unsigned char expectedType, unsigned char* answer,
               unsigned* answerLength)
{
    if (block[0] != expectedType)
        return FSI_RET_PAYLOAD_TYPE_ERR;
    const unsigned length = (unsigned{block[2]} << 8) | block[3];
    if (length > *answerLength)
        return FSI_RET_INVALID_PARAMETER;
    // The card's length is not trusted: the answer must lie inside this one block.
    if (length > FSI_MAX_ANSWER_SIZE)
        return FSI_RET_APDU_SIZE_ERR;
    memcpy(answer, block + FSI_ANSWER_HEADER_SIZE, length);
    *answerLength = length;
    return FSI_RET_OK;
}

int pollForAnswer(SFC_FSI* channel, unsigned char expectedType, unsigned char* answer,
                  unsigned* answerLength, long timeoutMs)
{
    const uint64_t timeout =
        timeoutMs < 0 ? FSI_DEFAULT_TIMEOUT_MS : static_cast<uint64_t>(timeoutMs);
    const uint64_t start = getWallTime();
    for (;;) {
        const int result = FsiRead(channel);
        if (result != FSI_RET_OK)
            return result;
        const Poll state = classifyBlock(channel->ioBlock);
        if (state == Poll::Answered)
            return takeAnswer(channel->ioBlock, expectedType, answer, answerLength);
        if (state == Poll::Busy)
            msleep(FSI_BUSY_SLEEP_MS);
        if (getTimeDifference(start, getWallTime()) >= timeout)
            break;
    }
    memcpy(answer, FSI_SW_TIMEOUT, FSI_SW_SIZE);
    *answerLength = FSI_SW_SIZE;
    return FSI_RET_TIMEOUT;
}

int transmit(SFC_FSI* channel, unsigned char commandType, unsigned char answerType,
             const unsigned char* apdu, unsigned apduLength, unsigned char* answer,
             unsigned* answerLength, long timeoutMs)
{
    const int sent = fsi_send(channel, commandType, apdu, apduLength);
    if (sent != FSI_RET_OK)
        return sent;
    return fsi_receive(channel, answerType, answer, answerLength, timeoutMs);
}

// A terminal that reports no card in answer to a request or reset: the caller gets a
// stand-in answer-to-reset and the channel stops sending to the secure element.
int markSecureElementAbsent(SFC_FSI* channel, int result, unsigned capacity, unsigned char* answer,
                            unsigned* answerLength)
{
    if (result != FSI_RET_OK || *answerLength != FSI_SW_SIZE ||
        memcmp(answer, FSI_SW_OK, FSI_SW_SIZE) == 0)
        return result;
    channel->sePresent = 0;
    if (capacity < sizeof(DEFAULT_ATR))
        return FSI_RET_INVALID_PARAMETER;
    memcpy(answer, DEFAULT_ATR, sizeof(DEFAULT_ATR));
    *answerLength = sizeof(DEFAULT_ATR);
    return FSI_RET_OK;
}

} // namespace

int fsi_open(const char* path, SFC_FSI** out)
{
    if (path == nullptr || out == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    int fd = -1;
    if (openFile(path, &fd, 1) != 0)
        return FSI_RET_OPEN_ERR;
    SFC_FSI* channel = newChannel(path, fd, 0);
    if (channel == nullptr) {
        closeFile(fd);
        return FSI_RET_MEM_ALLOC_ERR;
    }
    memset(channel->ioBlock, 0, FSI_BLOCK_SIZE);
    memcpy(channel->ioBlock, DEFAULT_CONTENT, sizeof(DEFAULT_CONTENT));
    channel->blockOffset = 0;
    size_t ignored = 0;
    writeFile(fd, channel->ioBlock, FSI_BLOCK_SIZE, &ignored);
    *out = channel;
    return FSI_RET_OK;
}

int fsi_open_raw(const char* path, SFC_FSI** out)
{
    if (path == nullptr || out == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    auto* saved = static_cast<unsigned char*>(allocAlignedBuffer(FSI_BLOCK_SIZE));
    if (saved == nullptr)
        return FSI_RET_MEM_ALLOC_ERR;
    int fd = -1;
    if (openVolume(path, &fd, saved, FSI_BLOCK_SIZE) != 0) {
        freeAlignedBuffer(saved);
        return FSI_RET_OPEN_ERR;
    }
    SFC_FSI* channel = newChannel(path, fd, 1);
    if (channel == nullptr) {
        freeAlignedBuffer(saved);
        closeVolume(fd, nullptr, 0);
        return FSI_RET_MEM_ALLOC_ERR;
    }
    channel->savedBlockSize = FSI_BLOCK_SIZE;
    channel->savedBlock = saved;
    channel->blockOffset = FSI_RAW_BLOCK_OFFSET;
    *out = channel;
    return FSI_RET_OK;
}

int fsi_close(SFC_FSI* channel)
{
    if (channel == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    int closed = 0;
    // Raw mode writes nothing back: the first block may have been rewritten by the card
    // (wipe, reset) while the channel was open, and card data must never be overwritten.
    if (channel->rawMode)
        closed = closeVolume(channel->fd, nullptr, 0);
    else if (!isSuspended(channel))
        closed = closeFile(channel->fd);
    freeChannel(channel);
    return closed == 0 ? FSI_RET_OK : FSI_RET_CLOSE_ERR;
}

int fsi_suspend_file(SFC_FSI* channel)
{
    if (channel == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    if (channel->rawMode || isSuspended(channel))
        return FSI_RET_OK;
    const int closed = closeFile(channel->fd);
    channel->fd = 0;
    return closed == 0 ? FSI_RET_OK : FSI_RET_CLOSE_ERR;
}

int fsi_send(SFC_FSI* channel, unsigned char payloadType, const unsigned char* command,
             unsigned length)
{
    if (channel == nullptr || (command == nullptr && length != 0))
        return FSI_RET_INVALID_PARAMETER;
    if (length > FSI_MAX_COMMAND_SIZE)
        return FSI_RET_PARAM_APDU_SIZE_ERR;
    forgetCommand(channel);
    int result = rememberBlockBeforeCommand(channel);
    unsigned offset = 0;
    while (result == FSI_RET_OK && length - offset > FSI_CHUNK_PAYLOAD_SIZE) {
        result =
            writeCommandBlock(channel, payloadType, command + offset, FSI_CHUNK_PAYLOAD_SIZE, true);
        offset += FSI_CHUNK_PAYLOAD_SIZE;
    }
    if (result == FSI_RET_OK)
        result = writeCommandBlock(channel, payloadType, command + offset, length - offset, false);
    if (result != FSI_RET_OK) {
        undoCommand(channel);
        clearTransferBlock(channel);
    }
    return result;
}

int fsi_receive(SFC_FSI* channel, unsigned char expectedType, unsigned char* answer,
                unsigned* answerLength, long timeoutMs)
{
    if (channel == nullptr || answer == nullptr || answerLength == nullptr ||
        *answerLength < FSI_SW_SIZE)
        return FSI_RET_INVALID_PARAMETER;
    const int result = pollForAnswer(channel, expectedType, answer, answerLength, timeoutMs);
    if (result == FSI_RET_TIMEOUT && lastPollSawOurCommand(channel))
        undoCommand(channel);
    else
        forgetCommand(channel);
    // The block read back may still be the command, PIN included.
    clearTransferBlock(channel);
    return result;
}

int fsi_transmit_se(SFC_FSI* channel, const unsigned char* apdu, unsigned apduLength,
                    unsigned char* answer, unsigned* answerLength, long timeoutMs)
{
    if (channel == nullptr || answerLength == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    const bool classFF = apdu != nullptr && apduLength != 0 && apdu[0] == SFC_CLA;
    if (!channel->sePresent && !classFF) {
        if (answer == nullptr || *answerLength < FSI_SW_SIZE)
            return FSI_RET_INVALID_PARAMETER;
        memcpy(answer, FSI_SW_NO_SE, FSI_SW_SIZE);
        *answerLength = FSI_SW_SIZE;
        return FSI_RET_OK;
    }
    return transmit(channel, FSI_PAYLOAD_SE, FSI_PAYLOAD_SE_RESPONSE, apdu, apduLength, answer,
                    answerLength, timeoutMs);
}

int fsi_transmit_fc(SFC_FSI* channel, const unsigned char* apdu, unsigned apduLength,
                    unsigned char* answer, unsigned* answerLength, long timeoutMs)
{
    if (channel == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    return transmit(channel, FSI_PAYLOAD_FC, FSI_PAYLOAD_FC_RESPONSE, apdu, apduLength, answer,
                    answerLength, timeoutMs);
}

int fsi_request(SFC_FSI* channel, unsigned char* answer, unsigned* answerLength, long timeoutMs)
{
    if (channel == nullptr || answerLength == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    const unsigned capacity = *answerLength;
    const int result = fsi_transmit_fc(channel, FSI_REQUEST_SE, FSI_CT_COMMAND_SIZE, answer,
                                       answerLength, timeoutMs);
    return markSecureElementAbsent(channel, result, capacity, answer, answerLength);
}

int fsi_reset(SFC_FSI* channel, unsigned char unit, unsigned char* answer, unsigned* answerLength,
              long timeoutMs)
{
    if (channel == nullptr || answerLength == nullptr)
        return FSI_RET_INVALID_PARAMETER;
    const unsigned char command[FSI_CT_COMMAND_SIZE] = {FSI_CT_CLA, FSI_CT_INS_RESET, unit, 0x01,
                                                        0x00};
    const unsigned capacity = *answerLength;
    const int result =
        fsi_transmit_fc(channel, command, FSI_CT_COMMAND_SIZE, answer, answerLength, timeoutMs);
    return markSecureElementAbsent(channel, result, capacity, answer, answerLength);
}

int fsi_eject(SFC_FSI* channel, long timeoutMs)
{
    unsigned char answer[FSI_EJECT_ANSWER_SIZE];
    unsigned answerLength = sizeof(answer);
    return fsi_transmit_fc(channel, FSI_EJECT_SE, FSI_CT_COMMAND_SIZE, answer, &answerLength,
                           timeoutMs);
}

int fsi_status(SFC_FSI* channel, unsigned char tag, unsigned char* answer, unsigned* answerLength,
               long timeoutMs)
{
    const unsigned char command[FSI_CT_COMMAND_SIZE] = {FSI_CT_CLA, FSI_CT_INS_STATUS, 0x00, tag,
                                                        0x00};
    return fsi_transmit_fc(channel, command, FSI_CT_COMMAND_SIZE, answer, answerLength, timeoutMs);
}

const char* fsi_errorAsString(int code)
{
    if (code > 0 || code < FSI_INTERNAL_ERROR)
        return nullptr;
    return err2string[-code];
}
