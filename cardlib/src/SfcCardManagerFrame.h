// Building one command frame, exchanging it and reading its answer: shared by the
// command functions only.
#ifndef VIX_SFC_CARD_MANAGER_FRAME_H
#define VIX_SFC_CARD_MANAGER_FRAME_H

#include <cstdint>

#include "SfcCardManager.h"

namespace sfc::frame {

const unsigned HEADER_SIZE = 5;
const unsigned SW_SIZE = 2;
const unsigned BE32_SIZE = 4;

// One command frame; the answer is received into the same buffer. The buffer is
// cleared when the frame goes out of scope, since it may have carried a PIN.
struct Frame
{
    unsigned char bytes[FSI_BLOCK_SIZE];
    unsigned length;       // frame bytes so far, then answer bytes
    unsigned answerLength; // set by exchange()

    Frame(unsigned char ins, unsigned char p1, unsigned char p2);
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    void appendByte(unsigned value);
    void appendBe16(unsigned value);
    void appendBe32(uint32_t value);
    void appendBytes(const unsigned char* data, unsigned count);
    // One length byte, then the bytes.
    void appendItem(const unsigned char* data, unsigned count);

    // Answer data: the bytes before the status word.
    const unsigned char* data() const { return bytes; }
    unsigned dataLength() const { return answerLength - SW_SIZE; }
    bool carries(unsigned count) const { return dataLength() >= count; }
    // Fields the answer does not carry read as 0.
    unsigned byteAt(unsigned offset) const;
    uint32_t be32At(unsigned offset) const;
    uint64_t be64At(unsigned offset) const;
    // The whole answer data into `out` of `capacity` bytes; false, nothing copied, when
    // it does not fit.
    bool copyDataTo(unsigned char* out, uint64_t capacity) const;
};

// True when data of `dataLength` bytes fits both the command's limit and the one-byte Lc.
bool fitsLc(uint64_t dataLength, uint64_t limit = SFC_MAX_DATA_LENGTH);
// Null data is accepted only with length 0.
bool validData(const void* data, uint64_t length);

// Whether a status word is one a card can give (SW1 61 to 6F or 90 to 9F): a
// length that overstates the answer puts stale block bytes, mostly zeros, there.
bool isRealStatusWord(int sw);

// Sends the frame (Lc = data bytes appended) and receives the answer into it.
// Returns the transport code, the status word, or SFC_ERR_MALFORMED_ANSWER for an
// answer the card cannot have meant: no real status word, or data along with a
// refusal. `transmit` leaves the data of a success to the caller; `exchange` is for
// commands whose answer carries none.
int transmit(SFC_FSI* channel, Frame& frame, long timeoutMs);
int exchange(SFC_FSI* channel, Frame& frame, long timeoutMs);
// A command without data, answered without data.
int exchangeBare(SFC_FSI* channel, unsigned char ins, unsigned char p1, unsigned char p2,
                 long timeoutMs = SFC_COMMAND_TIMEOUT_MS);
// Commands that report 0 instead of 0x9000.
int zeroOnSuccess(int result);

// Sends the frame (command timeout) and returns what `decode(frame)` returns, but only
// for an answer with 0x9000 that carries at least `needed` data bytes. Otherwise the
// transport code, the status word or SFC_ERR_MALFORMED_ANSWER, and nothing is decoded.
template <typename Decode>
int exchangeAndDecode(SFC_FSI* channel, Frame& frame, unsigned needed, Decode decode)
{
    const int sw = transmit(channel, frame, SFC_COMMAND_TIMEOUT_MS);
    if (sw != TRESORA_AC_SW_SUCCESS)
        return sw;
    if (!frame.carries(needed))
        return SFC_ERR_MALFORMED_ANSWER;
    const Frame& answer = frame;
    return decode(answer);
}

} // namespace sfc::frame

#endif
