// `vaultsim create`: a new card (image, state file, session folders).
#ifndef VAULTSIM_CREATE_H
#define VAULTSIM_CREATE_H

#include <string>
#include <vector>

#include "vcard/Card.h"

namespace vaultsim {

struct SessionPlan
{
    std::uint32_t packedDate = 0;
    std::int8_t zone = vcard::kZoneMarker;
    std::int8_t localFlag = 0;
    std::vector<std::uint64_t> fileSizes;
};

struct CreateOptions
{
    std::string image;
    vcard::CardState state;
    bool controllerIdGiven = false;
    bool exampleSessions = false;
    std::vector<SessionPlan> sessions;
    bool force = false;
    // A card made already activated (as if activated and then power cycled).
    std::string activatePin; // empty: transparent
    std::string adminPin;    // empty: no Admin user, the Admin PIN derived from the PIN
    std::uint8_t retries = 3;
    bool locked = false;
};

// DATE[/ZONE]=SIZE[,SIZE...]; DATE "invalid" or YYYY-MM-DDTHH:MM:SS,
// ZONE "A" (UTC, default), "L" (already local) or quarter hours.
bool parseSessionPlan(const std::string& text, SessionPlan& plan, std::string& error);
// Byte count with an optional K, M or G suffix (powers of 1024).
bool parseSize(const std::string& text, std::uint64_t& size);

int create(CreateOptions options);

} // namespace vaultsim

#endif
