// One card command at a time across processes: the card has a single command
// block, and an exchange of another process in between would read our answer.
#ifndef VIX_CARD_LOCK_H
#define VIX_CARD_LOCK_H

#include "FileBasedSecurityInterface.h"

// The longest another process may legitimately hold the card: its longest
// command, plus room for the open and close around it.
#define CARD_LOCK_WAIT_MS (FSI_DEFAULT_TIMEOUT_MS + 10000)

enum CardLockResult { CARD_LOCK_HELD, CARD_LOCK_UNAVAILABLE, CARD_LOCK_TIMED_OUT };

// Takes the exclusive lock on the device, waiting at most waitMs; on success
// *lockFd holds it until unlockCard. The lock dies with the descriptor.
// UNAVAILABLE: the device cannot be opened or locked now (a card that is
// reappearing); the caller may go on without the lock.
CardLockResult lockCard(const char* devicePath, int waitMs, int* lockFd);
void unlockCard(int lockFd);

#endif
