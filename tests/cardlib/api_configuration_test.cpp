// Built against a card library whose helper folder lacks one helper program:
// every operation must refuse with -27 before it touches the device.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CardManagement.h"
#include "DiskUtilities.h"
#include "VirtualCard.h"
#include "fakehelpers.h"

namespace {

const unsigned char kPin[] = "12345678";

std::vector<std::function<int(const char*)>> everyOperation()
{
    static uint32_t value;
    static unsigned char id[64];
    static int32_t idLength;
    static tresora_ac_session page;
    return {
        [](const char* d) {
            return tresora_ac_getStatus(d, &value, &value, &value, &value, &value);
        },
        [](const char* d) {
            idLength = sizeof id;
            return tresora_ac_getControllerId(d, id, &idLength);
        },
        [](const char* d) { return tresora_ac_getFirmwareVersion(d, &value); },
        [](const char* d) { return tresora_ac_activate(d, kPin, 4, kPin, 8, 5, nullptr); },
        [](const char* d) { return tresora_ac_wipeContent(d, kPin, 4); },
        [](const char* d) { return tresora_ac_factoryReset(d, kPin, 8); },
        [](const char* d) { return tresora_ac_login(d, kPin, 4); },
        tresora_ac_logout,
        [](const char* d) { return tresora_ac_changePin(d, kPin, 4, kPin, 4); },
        [](const char* d) { return tresora_ac_changeAdminPin(d, kPin, 8, kPin, 8); },
        [](const char* d) { return tresora_ac_unblockPin(d, kPin, 8, kPin, 4); },
        tresora_ac_setDeviceReadOnly,
        tresora_ac_setDeviceReadWrite,
        [](const char* d) { return tresora_ac_listSessions(d, 0, &page); },
        [](const char* d) { return tresora_ac_switchToSession(d, 1); },
        tresora_ac_discardCurrentSession,
        tresora_ac_startNewSession,
        [](const char* d) { return tresora_ac_firmwareUpdateTransfer(d, 0, kPin, 8); },
        [](const char* d) { return tresora_ac_firmwareUpdateApply(d, kPin, 4, 128); },
    };
}

TEST(MissingHelper, EveryOperationRefusesBeforeTouchingTheCard)
{
    vixtest::FakeHelpers helpers;
    vixtest::VirtualCard card;
    ASSERT_EQ(checkCorrectSystemConfiguration(), TRESORA_AC_ERR_SYSTEM_CONFIGURATION);
    // Any command that reached the card would be answered with this word.
    card.setFault("any", vixtest::Fault::StatusWord, vixtest::Repeat::Always, 0x6A88);

    const std::string missing = card.folder() + "/no-such-device";
    for (const auto& operation : everyOperation()) {
        EXPECT_EQ(operation(card.devicePath().c_str()), TRESORA_AC_ERR_SYSTEM_CONFIGURATION);
        // An open attempt would have given the open error instead.
        EXPECT_EQ(operation(missing.c_str()), TRESORA_AC_ERR_SYSTEM_CONFIGURATION);
    }
    EXPECT_TRUE(helpers.calls().empty());
}

} // namespace
