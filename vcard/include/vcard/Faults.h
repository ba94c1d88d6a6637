// Deliberate misbehaviour on chosen commands, read from the control file.
#ifndef VCARD_FAULTS_H
#define VCARD_FAULTS_H

#include <string>
#include <vector>

#include "vcard/Protocol.h"

namespace vcard {

enum class FaultKind {
    NoAnswer,         // leave the command block as it is
    Busy,             // busy answers: for `argument` ms, or without end when it is 0
    WrongType,        // the other answer type
    ImpossibleLength, // header announces `argument` bytes (default 600)
    TooShort,         // answer of `argument` bytes (0 or 1)
    Overcount,        // session/profile count raised by `argument` (default 1)
    FirstPage,        // the session list answered as if asked from index 0
    StatusWord,       // only the status word `argument`
    Vanish            // remove the image, answer nothing
};

struct FaultRule
{
    std::string command;  // as written in the control file
    int payloadType = -1; // -1: any
    int ins = -1;         // -1: any
    int p1 = -1;
    int p2 = -1;
    FaultKind kind = FaultKind::NoAnswer;
    std::uint32_t argument = 0;
    bool once = false;
};

// Whether the card carries the command out before the fault shapes the answer.
bool faultExecutesCommand(const FaultRule& rule);

class FaultPlan
{
public:
    // One rule per line: COMMAND FAULT [ARGUMENT] [once|always]; '#' starts a comment.
    bool parse(const std::string& text, std::string& error);
    // The first rule matching the command; a "once" rule is used up by it.
    bool take(std::uint8_t payloadType, const Bytes& command, FaultRule& rule);
    bool empty() const { return rules_.empty(); }

private:
    std::vector<FaultRule> rules_;
};

bool parseFaultRule(const std::string& line, FaultRule& rule, std::string& error);
// The command as the card carries it out under the fault.
Bytes faultedCommand(const FaultRule& rule, Bytes command);
// The answer as the fault makes it, from the answer the card would have given.
Answer shapeAnswer(const FaultRule& rule, Answer answer, const Bytes& command);

} // namespace vcard

#endif
