// Host side of a card command: brings the host's mount of the card up to date
// after the card changed what it presents. Every helper program is started
// directly with an argument vector (no shell); an exit status of 0 is success,
// a program that cannot be started or dies from a signal is a failure.
#ifndef VIX_DISK_UTILITIES_H
#define VIX_DISK_UTILITIES_H

#include <string>

// Helper programs, fixed at build time from the folder VIX_HELPER_DIR.
extern const char* const MOUNTPOINT_MANAGER_PATH;
extern const char* const PARTRESCAN_PATH;

#define DISK_REMOUNT_ATTEMPTS 10
#define DISK_REMOUNT_RETRY_DELAY_MS 100

// 0 when both helper programs exist, else TRESORA_AC_ERR_SYSTEM_CONFIGURATION.
int checkCorrectSystemConfiguration();

// "udevadm settle", then a remount of the partition. 0 or TRESORA_AC_ERR_REFRESH.
int wipeCache(const char* devicePath);

// Unmount, partition table re-read of the whole disk, remount with retries.
// 0, TRESORA_AC_ERR_REFRESH, or TRESORA_AC_REMOUNT_INCOMPLETE when no remount
// succeeded.
int remountDeviceAfterPartitionsChanged(const char* devicePath);

// Runs the mount helper with `action` ("unmount" or "remount"); 0 on success.
int mountPointManager(const char* devicePath, const std::string& action);

// The disk that holds a partition: the path resolved through links, trailing digits dropped, and a
// "p" that separates them from a disk name ending in a digit (/dev/mmcblk0p1 -> /dev/mmcblk0).
std::string wholeDiskPath(const char* partitionPath);

// Runs argv[0] (searched on PATH when it has no slash) with the given
// arguments and waits for it. 0 when it exited with status 0; otherwise its
// wait status, or -1 when it could not be started.
int runProgram(const char* const argv[]);

#endif
