// One card command at a time across processes: the card has a single command
// block, and an exchange of another process in between would read our answer.
#ifndef VIX_CARD_LOCK_H
#define VIX_CARD_LOCK_H

#include <string>

#include "FileBasedSecurityInterface.h"

// The longest another process may legitimately hold the card: its longest
// command, plus room for the open and close around it.
#define CARD_LOCK_WAIT_MS (FSI_DEFAULT_TIMEOUT_MS + 10000)
// A wait this long is worth telling the user about.
#define CARD_LOCK_NOTICE_MS 1000

enum CardLockResult { CARD_LOCK_HELD, CARD_LOCK_UNAVAILABLE, CARD_LOCK_TIMED_OUT };

// The lock is a file named after the device number, in the system's lock folder:
// a waiting process must not hold the card's partition open, or the holder's
// partition re-read fails as busy. Empty when the device cannot be examined.
std::string cardLockFilePath(const char* devicePath);

// Called once per wait that lasts CARD_LOCK_NOTICE_MS, with the device path.
typedef void (*CardLockNotice)(const char* devicePath);

// Takes the exclusive lock for the device, waiting at most waitMs; on success
// *lockFd holds it until releaseCardLock. The lock dies with the descriptor.
// UNAVAILABLE: the device cannot be examined or its lock file not opened now (a
// card that is reappearing); the caller may go on without the lock.
CardLockResult acquireCardLock(const char* devicePath, int waitMs, int* lockFd,
                               CardLockNotice notice = nullptr);
void releaseCardLock(int lockFd);

// A command of several exchanges keeps the card for itself from its first to its
// last: while this process holds a card, its exchanges on it take no lock of their
// own (a second flock of the same file would wait for the first). One card per
// process at a time, by the thread that took it: other threads wait as another
// program would. UNAVAILABLE when another card is held or the lock cannot be taken.
CardLockResult holdCard(const char* devicePath, CardLockNotice notice);
void releaseHeldCard();
bool cardIsHeld(const char* devicePath);

#endif
