// The cross-process card lock: it waits for a holder, but not for ever.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/file.h>
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
    void TearDown() override { ::unlink(path.c_str()); }

    // Another holder: a separate open file description conflicts like another process.
    int holdLock() const
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
    EXPECT_EQ(lockCard(path.c_str(), 50, &fd), CARD_LOCK_TIMED_OUT);
    EXPECT_EQ(fd, -1);
    ::close(other);

    ASSERT_EQ(lockCard(path.c_str(), 0, &fd), CARD_LOCK_HELD);
    int second = -1;
    EXPECT_EQ(lockCard(path.c_str(), 0, &second), CARD_LOCK_TIMED_OUT)
        << "the lock excludes every other taker";
    unlockCard(fd);
    ASSERT_EQ(lockCard(path.c_str(), 0, &second), CARD_LOCK_HELD);
    unlockCard(second);
}

TEST_F(CardLock, WaitsForAHolderThatReleasesInTime)
{
    const int other = holdLock();
    std::thread releaser([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(other);
    });
    int fd = -1;
    EXPECT_EQ(lockCard(path.c_str(), 60000, &fd), CARD_LOCK_HELD);
    releaser.join();
    unlockCard(fd);
}

TEST_F(CardLock, MissingDeviceIsUnavailableNotAWait)
{
    int fd = 7;
    EXPECT_EQ(lockCard((path + ".missing").c_str(), 60000, &fd), CARD_LOCK_UNAVAILABLE);
    EXPECT_EQ(fd, -1);
}

} // namespace
