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

} // namespace vcard

#endif
