// Text form of the card state (the state file beside the image).
#ifndef VCARD_STATE_FILE_H
#define VCARD_STATE_FILE_H

#include <string>

#include "vcard/Card.h"

namespace vcard {

std::string formatState(const CardState& state);
// On failure `error` names the line and the problem; `state` holds whatever was read so far.
bool parseState(const std::string& text, CardState& state, std::string& error);

std::string toHex(const Bytes& bytes);
bool fromHex(const std::string& text, Bytes& bytes);

// The fields of the card state, parsed alike from the state file and from the
// options of `vaultsim create`. False, and the field undefined, for text out of range.
// The controller identifier is limited by the answer that carries it (with its status word).
constexpr std::size_t kControllerIdMax = kAnswerPayloadMax - 2;
// Busy time of activation and resets.
constexpr std::uint32_t kLongCommandMsMax = 600000;

// Decimal, or hexadecimal with "0x".
bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& value);
template <typename T> bool parseNumber(const std::string& text, T& out)
{
    std::uint64_t value = 0;
    if (!parseUnsigned(text, std::uint64_t(T(~T(0))), value)) {
        return false;
    }
    out = T(value);
    return true;
}
bool parseGeneration(const std::string& text, CardState& state);    // ccv2, ccv1
bool parseFormFactor(const std::string& text, CardState& state);    // micro, full
bool parseUpdateVersion(const std::string& text, CardState& state); // X.Y.Z, next, same
bool parseControllerId(const std::string& text, CardState& state);  // hex
bool parseLongCommandMs(const std::string& text, std::uint32_t& milliseconds);

} // namespace vcard

#endif
