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
