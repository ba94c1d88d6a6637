// vaultsim's disk mode: the nodes, loop devices and mount it makes, and that
// nothing of them outlives the card, however the card ends.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "VirtualCard.h"

namespace {

#define SKIP_WITHOUT_DISK_MODE()                                                                   \
    if (const std::string reason = vixtest::diskModeUnavailable(); !reason.empty())                \
    GTEST_SKIP() << reason

bool isBlockDevice(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

std::string mountLine(const std::string& source)
{
    std::ifstream mounts("/proc/mounts");
    for (std::string line; std::getline(mounts, line);) {
        if (line.rfind(source + " ", 0) == 0) {
            return line;
        }
    }
    return {};
}

// Loop devices whose backing file is `image`.
int loopsOver(const std::string& image)
{
    int count = 0;
    DIR* block = ::opendir("/sys/block");
    while (const dirent* entry = block ? ::readdir(block) : nullptr) {
        std::ifstream backing(std::string("/sys/block/") + entry->d_name + "/loop/backing_file");
        std::string path;
        if (std::getline(backing, path) && path.rfind(image, 0) == 0) {
            ++count;
        }
    }
    if (block != nullptr) {
        ::closedir(block);
    }
    return count;
}

std::string sector(const std::string& device, unsigned number)
{
    int fd = ::open(device.c_str(), O_RDONLY | O_DIRECT);
    void* buffer = nullptr;
    std::string data;
    if (fd >= 0 && ::posix_memalign(&buffer, 512, 512) == 0 &&
        ::pread(fd, buffer, 512, off_t(number) * 512) == 512) {
        data.assign(static_cast<char*>(buffer), 512);
    }
    std::free(buffer);
    if (fd >= 0) {
        ::close(fd);
    }
    return data;
}

void expectGone(const std::string& disk, const std::string& partition, const std::string& image)
{
    EXPECT_FALSE(isBlockDevice(disk));
    EXPECT_FALSE(isBlockDevice(partition));
    EXPECT_EQ(mountLine(partition), "");
    EXPECT_EQ(loopsOver(image), 0);
}

vixtest::VirtualCardOptions diskCard()
{
    vixtest::VirtualCardOptions options;
    options.disk = true;
    return options;
}

TEST(Disk, PresentsTheCardAsAPartitionedDiskAndTakesItAwayOnStop)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card(diskCard());
    const std::string disk = card.diskNode();
    const std::string partition = card.devicePath();
    ASSERT_EQ(partition, disk + "1");
    EXPECT_TRUE(isBlockDevice(disk));
    EXPECT_TRUE(isBlockDevice(partition));
    EXPECT_EQ(loopsOver(card.imagePath()), 2);
    EXPECT_EQ(
        mountLine(partition).rfind(partition + " " + card.mountPoint() + " fuse.vaultsim ", 0), 0u)
        << mountLine(partition);

    const std::string table = sector(disk, 0);
    ASSERT_EQ(table.size(), 512u);
    EXPECT_EQ(table.substr(510), "\x55\xAA");
    EXPECT_EQ(table.substr(446 + 8, 4), std::string("\x00\x08\x00\x00", 4)); // starts at 2048
    EXPECT_EQ(sector(partition, 26).rfind("Kendrova-SFC-SD-ccv2", 0), 0u);
    EXPECT_EQ(sector(disk, 2048 + 26), sector(partition, 26));

    card.stop();
    expectGone(disk, partition, card.imagePath());
}

TEST(Disk, WhatAKilledCardLeftIsTakenAwayByTheNextRun)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card(diskCard());
    const std::string disk = card.diskNode();
    ::kill(card.pid(), SIGKILL);
    card.stop();
    ASSERT_TRUE(isBlockDevice(disk)) << "the killed card had no chance to clean up";
    const int status = std::system((vixtest::vaultsimPath() + " clean-up >/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectGone(disk, disk + "1", card.imagePath());
}

TEST(Disk, AnImageWithoutPartitionTableIsRefused)
{
    SKIP_WITHOUT_DISK_MODE();
    vixtest::VirtualCard card; // a partition image
    card.stop();
    const int status = std::system(
        (vixtest::vaultsimPath() + " serve " + card.imagePath() + " --disk >/dev/null 2>&1")
            .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

} // namespace
