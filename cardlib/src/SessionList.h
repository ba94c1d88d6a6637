// Reading the whole session list over an open channel, for tresora_ac_listAllSessions.
#ifndef VIX_SESSION_LIST_H
#define VIX_SESSION_LIST_H

#include <cstdint>

#include "CardManagement.h"
#include "FileBasedSecurityInterface.h"

// Room for a session list. `count` counts every session listed, also those that
// found no room; it is also the index the reading goes on from.
struct SessionListing
{
    tresora_ac_session_entry* entries;
    uint32_t capacity;
    uint32_t count;
};

// Reads page after page from index listing->count until an empty page, or until
// the next index would pass the largest one. 0 when the list ended,
// TRESORA_AC_ERR_MALFORMED_ANSWER when a page repeats the one before it, else the
// failure of a page; listing->count holds the sessions listed until then.
int readSessionList(SFC_FSI* channel, SessionListing* listing);

#endif
