#include "DiskUtilities.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CardManagement.h"
#include "os-abstraction.h"

#ifndef VIX_HELPER_DIR
#error "VIX_HELPER_DIR must name the folder of the helper programs"
#endif

const char* const MOUNTPOINT_MANAGER_PATH = VIX_HELPER_DIR "/mountpoint_manager";
const char* const PARTRESCAN_PATH = VIX_HELPER_DIR "/partrescan";

int runProgram(const char* const argv[])
{
    pid_t pid = 0;
    // posix_spawn takes char* const[] for historical reasons; it does not write them.
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return 0;
    return status != 0 ? status : -1;
}

static int settle()
{
    const char* const argv[] = {"udevadm", "settle", nullptr};
    return runProgram(argv);
}

int checkCorrectSystemConfiguration()
{
    if (access(MOUNTPOINT_MANAGER_PATH, F_OK) != 0 || access(PARTRESCAN_PATH, F_OK) != 0)
        return TRESORA_AC_ERR_SYSTEM_CONFIGURATION;
    return 0;
}

int mountPointManager(const char* devicePath, const std::string& action)
{
    const char* const argv[] = {MOUNTPOINT_MANAGER_PATH, action.c_str(), devicePath, nullptr};
    return runProgram(argv);
}

std::string wholeDiskPath(const char* partitionPath)
{
    // A link such as /dev/disk/by-id/...-part1 names its disk only once resolved.
    char* resolved = realpath(partitionPath, nullptr);
    std::string disk(resolved != nullptr ? resolved : partitionPath);
    free(resolved);
    const size_t partitionLength = disk.size();
    disk.erase(disk.find_last_not_of("0123456789") + 1);
    const size_t length = disk.size();
    const bool hadNumber = length < partitionLength;
    if (hadNumber && length >= 2 && disk[length - 1] == 'p' &&
        std::isdigit(static_cast<unsigned char>(disk[length - 2])))
        disk.pop_back();
    return disk;
}

int wipeCache(const char* devicePath)
{
    if (settle() != 0 || mountPointManager(devicePath, "remount") != 0)
        return TRESORA_AC_ERR_REFRESH;
    return 0;
}

static int rereadPartitions(const char* devicePath)
{
    const std::string disk = wholeDiskPath(devicePath);
    const char* const argv[] = {PARTRESCAN_PATH, disk.c_str(), nullptr};
    return runProgram(argv);
}

int remountDeviceAfterPartitionsChanged(const char* devicePath)
{
    if (settle() != 0 || mountPointManager(devicePath, "unmount") != 0 || settle() != 0 ||
        rereadPartitions(devicePath) != 0 || settle() != 0)
        return TRESORA_AC_ERR_REFRESH;
    for (int attempt = 0; attempt < DISK_REMOUNT_ATTEMPTS; ++attempt) {
        if (mountPointManager(devicePath, "remount") == 0)
            return 0;
        msleep(DISK_REMOUNT_RETRY_DELAY_MS);
    }
    return TRESORA_AC_REMOUNT_INCOMPLETE;
}
