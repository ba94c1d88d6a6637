#include <filesystem>
#include <gtest/gtest.h>

#include "VirtualCard.h"

namespace fs = std::filesystem;

TEST(VirtualCardFixture, StartsServesAndCleansUp)
{
    std::string folder;
    {
        vixtest::VirtualCardOptions options;
        options.exampleSessions = true;
        vixtest::VirtualCard card(options);
        folder = card.folder();
        EXPECT_TRUE(card.isRunning());
        EXPECT_TRUE(fs::is_regular_file(card.devicePath()));
        EXPECT_TRUE(fs::is_directory(card.contentDir()));
        EXPECT_EQ(card.stateValue("state"), "transparent");
        EXPECT_EQ(card.stateValue("firmware-version"), "1.2.3");
        card.stop();
        EXPECT_FALSE(card.isRunning());
        card.start();
        EXPECT_TRUE(card.isRunning());
    }
    EXPECT_FALSE(fs::exists(folder));
}

TEST(VirtualCardFixture, MadeActivatedAndLocked)
{
    vixtest::VirtualCardOptions options;
    options.pin = "1234";
    options.adminPin = "admin-pin";
    options.retries = 5;
    options.locked = true;
    options.exampleSessions = true;
    vixtest::VirtualCard card(options);
    EXPECT_EQ(card.stateValue("state"), "locked");
    EXPECT_EQ(card.stateValue("security-flags"), "2");
    EXPECT_EQ(card.stateValue("pin-tries"), "5");
    EXPECT_EQ(card.stateValue("cdrom-area"), "0x00000000");
    EXPECT_EQ(card.stateValue("session").substr(0, 2), "1 ") << "the examples survive";
}

TEST(VirtualCardFixture, RefusedOptionsFailLoudly)
{
    vixtest::VirtualCardOptions options;
    options.pin = "12";
    EXPECT_THROW(vixtest::VirtualCard card(options), std::runtime_error);
    options.pin.clear();
    options.extraArgs = {"--bogus"};
    EXPECT_THROW(vixtest::VirtualCard card(options), std::runtime_error);
}
