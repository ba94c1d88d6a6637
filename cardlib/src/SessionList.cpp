#include "SessionList.h"

#include "SfcCardManager.h"

#include <algorithm>
#include <cstring>

namespace {

// A card that ignores the index pages through the same entries for ever.
bool repeatsPage(const tresora_ac_session& page, const tresora_ac_session& previous)
{
    return page.count == previous.count &&
           std::memcmp(page.entries, previous.entries, page.count * sizeof page.entries[0]) == 0;
}

// Stores what has room and counts every entry; false when the index limit is reached.
bool takePage(const tresora_ac_session& page, SessionListing* listing)
{
    const uint32_t taken = std::min(page.count, UINT32_MAX - listing->count);
    for (uint32_t i = 0; i < taken; ++i) {
        const uint64_t index = uint64_t(listing->count) + i;
        if (index < listing->capacity)
            listing->entries[index] = page.entries[i];
    }
    listing->count += taken;
    return listing->count < UINT32_MAX;
}

} // namespace

int readSessionList(SFC_FSI* channel, SessionListing* listing)
{
    tresora_ac_session previous{};
    for (;;) {
        tresora_ac_session page{};
        const int result = sfc::listSessions(channel, listing->count, &page);
        if (result != TRESORA_AC_SW_SUCCESS)
            return result;
        page.count = std::min<uint32_t>(page.count, TRESORA_AC_MAX_SESSIONS_PER_PAGE);
        if (page.count == 0)
            return TRESORA_AC_OK;
        if (repeatsPage(page, previous))
            return TRESORA_AC_ERR_MALFORMED_ANSWER;
        if (!takePage(page, listing))
            return TRESORA_AC_OK;
        previous = page;
    }
}
