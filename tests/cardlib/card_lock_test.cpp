// The cross-process card lock: it waits for a holder, but not for ever.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "CardLock.h"

namespace {

class CardLock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = std::string(CARDTEST_SCRATCH_DIR) + "/lock-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::ofstream(path) << "card";
    }
    void TearDown() override
    {
        ::unlink(cardLockFilePath(path.c_str()).c_str());
        ::unlink(path.c_str());
    }

    // Another holder: a separate open file description conflicts like another process.
    int holdLock() const
    {
        const int fd =
            ::open(cardLockFilePath(path.c_str()).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(flock(fd, LOCK_EX), 0);
        return fd;
    }

    std::string path;
};

TEST_F(CardLock, HeldElsewhereTimesOutAndIsFreeAfterRelease)
{
    const int other = holdLock();
    int fd = 123;
    EXPECT_EQ(acquireCardLock(path.c_str(), 50, &fd), CARD_LOCK_TIMED_OUT);
    EXPECT_EQ(fd, -1);
    ::close(other);

    ASSERT_EQ(acquireCardLock(path.c_str(), 0, &fd), CARD_LOCK_HELD);
    int second = -1;
    EXPECT_EQ(acquireCardLock(path.c_str(), 0, &second), CARD_LOCK_TIMED_OUT)
        << "the lock excludes every other taker";
    releaseCardLock(fd);
    ASSERT_EQ(acquireCardLock(path.c_str(), 0, &second), CARD_LOCK_HELD);
    releaseCardLock(second);
}

TEST_F(CardLock, WaitsForAHolderThatReleasesInTime)
{
    const int other = holdLock();
    std::thread releaser([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(other);
    });
    int fd = -1;
    EXPECT_EQ(acquireCardLock(path.c_str(), 60000, &fd), CARD_LOCK_HELD);
    releaser.join();
    releaseCardLock(fd);
}

int noticesGiven = 0;
struct stat waitedDevice;

TEST_F(CardLock, LongWaitIsNoticedOnceAndNeverHoldsTheDeviceOpen)
{
    const int other = holdLock();
    ASSERT_EQ(stat(path.c_str(), &waitedDevice), 0);
    noticesGiven = 0;
    int fd = -1;
    EXPECT_EQ(acquireCardLock(path.c_str(), CARD_LOCK_NOTICE_MS + 500, &fd,
                              [](const char*) {
                                  ++noticesGiven;
                                  // Still waiting: nothing of this process may have the device
                                  // open.
                                  for (const auto& entry :
                                       std::filesystem::directory_iterator("/proc/self/fd")) {
                                      struct stat open;
                                      if (stat(entry.path().c_str(), &open) == 0 &&
                                          open.st_ino == waitedDevice.st_ino &&
                                          open.st_dev == waitedDevice.st_dev)
                                          ADD_FAILURE() << "the device is open while waiting";
                                  }
                              }),
              CARD_LOCK_TIMED_OUT);
    EXPECT_EQ(noticesGiven, 1);
    ::close(other);
}

TEST_F(CardLock, MissingDeviceIsUnavailableNotAWait)
{
    int fd = 7;
    EXPECT_EQ(acquireCardLock((path + ".missing").c_str(), 60000, &fd), CARD_LOCK_UNAVAILABLE);
    EXPECT_EQ(fd, -1);
}

} // namespace
