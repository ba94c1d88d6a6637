// A mount helper that exists but cannot be started: the configuration check
// (existence only) passes, and every run of it is a failed follow-up.
#include <gtest/gtest.h>

#include "CardManagement.h"
#include "DiskUtilities.h"
#include "fakehelpers.h"

namespace {

TEST(HelperNotExecutable, PassesTheCheckButFailsEveryFollowUp)
{
    vixtest::FakeHelpers helpers;
    EXPECT_EQ(checkCorrectSystemConfiguration(), 0);
    EXPECT_NE(mountPointManager("/dev/sdz1", "remount"), 0);
    EXPECT_EQ(wipeCache("/dev/sdz1"), TRESORA_AC_ERR_REFRESH);
    EXPECT_EQ(remountDeviceAfterPartitionsChanged("/dev/sdz1"), TRESORA_AC_ERR_REFRESH);
    EXPECT_EQ(helpers.calls(), (std::vector<std::string>{"udevadm settle", "udevadm settle"}));
}

} // namespace
