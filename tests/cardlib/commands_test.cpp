// Command frames on the wire, data limits, result convention and channel opening.
#include <functional>
#include <string>

#include "commands_fixture.h"

using namespace cardtest;

namespace {

const unsigned char PIN[] = {'1', '2', '3', '4'};
const unsigned char ADMIN[] = {'a', 'd', 'm', 'i', 'n', 'p', 'i', 'n'};

// ---- opening and closing ---------------------------------------------------------------

TEST(ChannelOpening, ThreeAttemptsWith100MsPauseAfterEach)
{
    FakeCard card;
    SFC_FSI* channel = nullptr;
    EXPECT_EQ(sfc::open_raw("/nonexistent-folder/device", &channel), FSI_RET_OPEN_ERR);
    EXPECT_EQ(card.sleeps(), (std::vector<int64_t>{100, 100, 100}));
    EXPECT_EQ(sfc::open("/nonexistent-folder/comm", &channel), FSI_RET_OPEN_ERR);
    EXPECT_EQ(card.sleeps().size(), 6u);
}

TEST(ChannelOpening, FirstSuccessEndsTheAttempts)
{
    DeviceFile device;
    FakeCard card;
    SFC_FSI* channel = nullptr;
    ASSERT_EQ(sfc::open_raw(device.path().c_str(), &channel), 0);
    EXPECT_TRUE(card.sleeps().empty());
    EXPECT_EQ(channel->blockOffset, 2048u);
    EXPECT_EQ(sfc::close(channel), 0);
    EXPECT_EQ(sfc::close(nullptr), 0);
}

// ---- frames ----------------------------------------------------------------------------

TEST_F(CardCommand, CommandsWithoutDataSendFiveBytes)
{
    cardAnswers({});
    const std::vector<std::pair<std::function<int()>, Bytes>> cases = {
        {[&] { return sfc::lockCard(channel); }, {0xFF, 0x31, 0x00, 0x00, 0x00}},
        {[&] { return sfc::setCdromAreaBackToDefault(channel); }, {0xFF, 0x53, 0x00, 0x00, 0x00}},
        {[&] { return sfc::discardCurrentSession(channel); }, {0xFF, 0x73, 0x00, 0x00, 0x00}},
        {[&] { return sfc::startNewSession(channel); }, {0xFF, 0x73, 0x01, 0x00, 0x00}},
        {[&] { return sfc::reset(channel, SFC_RESET_FACTORY, nullptr, 0); },
         {0xFF, 0x60, 0x00, 0x04, 0x00}},
        {[&] { return sfc::reset(channel, SFC_RESET_WIPE, PIN, 0); },
         {0xFF, 0x60, 0x00, 0x03, 0x00}},
    };
    for (const auto& [command, frame] : cases) {
        EXPECT_EQ(command(), 0x9000);
        EXPECT_EQ(sent(), frame);
        EXPECT_EQ(card.lastCommand().payloadType, FSI_PAYLOAD_SE);
    }
}

TEST_F(CardCommand, ActivateFrameWithAndWithoutFlags)
{
    cardAnswers({});
    const unsigned char flags = TRESORA_AC_FLAG_USER_ADMIN_SEPARATION;
    ASSERT_EQ(sfc::activate(channel, SFC_ACTIVATION_MODE, PIN, 4, ADMIN, 8, 5, &flags), 0x9000);
    const Bytes pinItem = Bytes{0x04} + Bytes(PIN, PIN + 4);
    const Bytes adminItem = Bytes{0x08} + Bytes(ADMIN, ADMIN + 8);
    EXPECT_EQ(sent(),
              (Bytes{0xFF, 0x10, 0x01, 0x00, 0x10} + pinItem + adminItem + Bytes{0x05, 0x02}));
    EXPECT_EQ(sent().size(), 21u);

    ASSERT_EQ(sfc::activate(channel, 1, PIN, 4, ADMIN, 8, 0x105, nullptr), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x10, 0x01, 0x00, 0x0F} + pinItem + adminItem + Bytes{0x05}));
}

TEST_F(CardCommand, PinItemsOfVerifyChangeAndUnblock)
{
    cardAnswers({});
    const Bytes pinItem = Bytes{0x04} + Bytes(PIN, PIN + 4);
    const Bytes adminItem = Bytes{0x08} + Bytes(ADMIN, ADMIN + 8);
    ASSERT_EQ(sfc::verify(channel, PIN, 4), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x30, 0x00, 0x00, 0x05} + pinItem));
    ASSERT_EQ(sfc::changeUserPassword(channel, PIN, 4, ADMIN, 8), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x40, 0x00, 0x00, 0x0E} + pinItem + adminItem));
    ASSERT_EQ(sfc::changeSecurityOfficerPassword(channel, ADMIN, 8, PIN, 4), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x40, 0x01, 0x00, 0x0E} + adminItem + pinItem));
    ASSERT_EQ(sfc::unblockPassword(channel, ADMIN, 8, PIN, 4), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x50, 0x00, 0x00, 0x0E} + adminItem + pinItem));
    ASSERT_EQ(sfc::unblock(channel, ADMIN, 8, PIN, 4), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x50, 0x00, 0x00, 0x0E} + adminItem + pinItem));
    ASSERT_EQ(sfc::deactivate(channel, PIN, 4), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x20, 0x00, 0x00, 0x05} + pinItem));
    ASSERT_EQ(sfc::reset(channel, SFC_RESET_WIPE, PIN, 4), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x60, 0x00, 0x03, 0x05} + pinItem));
}

TEST_F(CardCommand, ReadOnlyCoversTheWholeCardAndItsOwnAnswerCountsAsSuccess)
{
    cardAnswers({}, 0x6F01);
    EXPECT_EQ(sfc::setDeviceReadOnly(channel), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x53, 0x01, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}));
    cardAnswers({}, 0x6F02);
    EXPECT_EQ(sfc::setDeviceReadOnly(channel), 0x6F02);
}

TEST_F(CardCommand, SessionAndFirmwareFrames)
{
    cardAnswers({});
    ASSERT_EQ(sfc::switchToSession(channel, 0x01020304), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x72, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04}));

    const Bytes chunk = repeated(128, 0x3C);
    ASSERT_EQ(sfc::firmwareUpdateTransfer(channel, 256, chunk.data(), 128), 0x9000);
    EXPECT_EQ(sent(),
              (Bytes{0xFF, 0xAA, 0x00, 0x00, 0x86, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80} + chunk));

    ASSERT_EQ(sfc::firmwareUpdateApply(channel, PIN, 4, 0x00012345), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0xAA, 0x01, 0x00, 0x09, 0x04} + Bytes(PIN, PIN + 4) +
                       Bytes{0x00, 0x01, 0x23, 0x45}));
}

TEST_F(CardCommand, ProfileAreaAndNvramFrames)
{
    cardAnswers({});
    const ProtectionProfile profiles[] = {{1, 0x10}, {2, 0x20}};
    ASSERT_EQ(sfc::setProtectionProfiles(channel, profiles, 2), 0);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x53, 0x03, 0x01, 0x21, 0x02} + Bytes{0x01} + repeated(7, 0) +
                       repeated(7, 0) + Bytes{0x10} + Bytes{0x02} + repeated(7, 0) +
                       repeated(7, 0) + Bytes{0x20}));
    EXPECT_EQ(sent().size(), 38u);
    ASSERT_EQ(sfc::clearProtectionProfiles(channel), 0);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x53, 0x03, 0x00, 0x00}));

    const unsigned char item[] = {0xAB, 0xCD};
    ASSERT_EQ(sfc::setCdromArea(channel, item, 2, 0x11223344, true), 0x9000);
    EXPECT_EQ(sent(),
              (Bytes{0xFF, 0x50, 0x02, 0x01, 0x07, 0x02, 0xAB, 0xCD, 0x11, 0x22, 0x33, 0x44}));
    ASSERT_EQ(sfc::setReadException(channel, item, 2, 7, false), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x50, 0x01, 0x00, 0x07, 0x02, 0xAB, 0xCD, 0, 0, 0, 7}));
    ASSERT_EQ(sfc::setCdromAreaAndReadException(channel, 0x100, 0x200), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x53, 0x02, 0x00, 0x08, 0, 0, 1, 0, 0, 0, 2, 0}));

    ASSERT_EQ(sfc::customizeCard(channel, 0x1234, 2, item), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x80, 0x01, 0x34, 0x02, 0xAB, 0xCD}));
    ASSERT_EQ(sfc::configureNVRAM(channel, 0x101, 0x202, 0x0A0B0C0D, 5, true), 0);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x80, 0x03, 0x01, 0x0A, 0x01, 0x02, 0x0A, 0x0B, 0x0C, 0x0D, 0, 0,
                             0, 5}));
    ASSERT_EQ(sfc::setExtendedSecurityFlags(channel, 0x1F3), 0);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x80, 0x05, 0x00, 0x01, 0xF3}));

    ASSERT_EQ(sfc::writeNVRAM(channel, item, 2, true, true, 99), 0);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0xD1, 0x01, 0x01, 0x02, 0xAB, 0xCD}));
    ASSERT_EQ(sfc::writeNVRAM(channel, item, 2, false, false, 0x0102), 0);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0xD1, 0x00, 0x00, 0x06, 0x00, 0x00, 0x01, 0x02, 0xAB, 0xCD}));
}

TEST_F(CardCommand, QueryFrames)
{
    cardAnswers(repeated(64, 0));
    unsigned char buffer[64];
    char first[8], next[4];
    unsigned int number = 0;
    sfc::cardStatus status{};
    sfc::cardStatusNvram nvram{};
    sfc::cardStatusException exception{};
    int length = sizeof(buffer);
    const std::vector<std::pair<std::function<int()>, Bytes>> cases = {
        {[&] { return sfc::getStatus(channel, &status); }, {0xFF, 0x70, 0x00, 0x00, 0x00}},
        {[&] { return sfc::getId(channel, buffer); }, {0xFF, 0x70, 0x01, 0x00, 0x00}},
        {[&] { return sfc::getAppVersion(channel, &number); }, {0xFF, 0x70, 0x02, 0x00, 0x00}},
        {[&] { return sfc::getBaseFWVersion(channel, first, next); },
         {0xFF, 0x70, 0x02, 0x01, 0x00}},
        {[&] { return sfc::getStatus(channel, &nvram); }, {0xFF, 0x70, 0x03, 0x00, 0x00}},
        {[&] { return sfc::getStatus(channel, &exception); }, {0xFF, 0x70, 0x04, 0x00, 0x00}},
        {[&] { return sfc::getControllerId(channel, buffer, &length); },
         {0xFF, 0x70, 0x06, 0x00, 0x00}},
        {[&] { return sfc::getProtectionProfiles(channel, &number, nullptr, 0); },
         {0xFF, 0x70, 0x07, 0x00, 0x00}},
        {[&] { return sfc::getPartition(channel, buffer); }, {0xFF, 0x70, 0x08, 0x00, 0x00}},
        {[&] { return sfc::getOverallSizeSD(channel, &number); }, {0xFF, 0x70, 0x08, 0x00, 0x00}},
        {[&] { return sfc::getOverallSizeUSB(channel, &number); }, {0xFF, 0x70, 0x09, 0x00, 0x00}},
        {[&] { return sfc::readNVRAM(channel, nullptr, &number, true, 0x10); },
         {0xFF, 0xD0, 0x01, 0x01, 0x04, 0, 0, 0, 0x10}},
        {[&] {
             number = sizeof(buffer);
             return sfc::readNVRAM(channel, buffer, &number, false, 0x10);
         },
         {0xFF, 0xD0, 0x00, 0x00, 0x04, 0, 0, 0, 0x10}},
        {[&] { return sfc::listSessions(channel, 70000, nullptr); }, {}},
    };
    for (const auto& [query, frame] : cases) {
        const size_t before = commandCount();
        const int result = query();
        if (frame.empty()) {
            EXPECT_EQ(result, FSI_RET_INVALID_PARAMETER);
            EXPECT_EQ(commandCount(), before);
            continue;
        }
        EXPECT_GE(result, 0);
        EXPECT_EQ(sent(), frame);
    }
}

// ---- limits ----------------------------------------------------------------------------

TEST_F(CardCommand, DataThatDoesNotFitTheOneByteLcIsRefusedBeforeSending)
{
    cardAnswers({});
    const Bytes data = repeated(1000, 0x31);
    const unsigned char* d = data.data();
    struct Limit
    {
        const char* name;
        std::function<int(unsigned)> command;
        unsigned largest;
    };
    const std::vector<Limit> limits = {
        {"verify", [&](unsigned n) { return sfc::verify(channel, d, n); }, 254},
        {"deactivate", [&](unsigned n) { return sfc::deactivate(channel, d, n); }, 254},
        {"activate", [&](unsigned n) { return sfc::activate(channel, 1, d, n, d, 8, 3, nullptr); },
         244},
        {"activate with flags",
         [&](unsigned n) {
             const unsigned char flags = 2;
             return sfc::activate(channel, 1, d, 8, d, n, 3, &flags);
         },
         243},
        {"changePassword", [&](unsigned n) { return sfc::changeUserPassword(channel, d, n, d, 4); },
         249},
        {"unblockPassword", [&](unsigned n) { return sfc::unblockPassword(channel, d, 8, d, n); },
         245},
        {"reset", [&](unsigned n) { return sfc::reset(channel, 3, d, n); }, 254},
        {"firmwareUpdateTransfer",
         [&](unsigned n) {
             return sfc::firmwareUpdateTransfer(channel, 0, d, static_cast<unsigned short>(n));
         },
         249},
        {"firmwareUpdateApply",
         [&](unsigned n) { return sfc::firmwareUpdateApply(channel, d, n, 1); }, 250},
        {"setCdromArea", [&](unsigned n) { return sfc::setCdromArea(channel, d, n, 1, false); },
         250},
        {"setReadException",
         [&](unsigned n) { return sfc::setReadException(channel, d, n, 1, false); }, 250},
        {"writeNVRAM plain", [&](unsigned n) { return sfc::writeNVRAM(channel, d, n, true, 0, 0); },
         246},
        {"writeNVRAM at offset",
         [&](unsigned n) { return sfc::writeNVRAM(channel, d, n, false, 0, 0); }, 250},
        {"setProtectionProfiles",
         [&](unsigned n) {
             static const std::vector<ProtectionProfile> profiles(64, ProtectionProfile{1, 2});
             return sfc::setProtectionProfiles(channel, profiles.data(), n);
         },
         15},
    };
    for (const Limit& limit : limits) {
        SCOPED_TRACE(limit.name);
        size_t before = commandCount();
        EXPECT_GE(limit.command(limit.largest), 0);
        ASSERT_EQ(commandCount(), before + 1);
        EXPECT_LE(sent().size(), 5u + 255u);
        EXPECT_EQ(sent()[4], sent().size() - 5);
        before = commandCount();
        for (unsigned over : {limit.largest + 1, 400u, 401u})
            EXPECT_EQ(limit.command(over), FSI_RET_PARAM_APDU_SIZE_ERR) << over;
        EXPECT_EQ(commandCount(), before);
    }
}

TEST_F(CardCommand, HugeLengthsDoNotWrapAround)
{
    const unsigned huge = 0xFFFFFFFFu;
    const unsigned char* d = PIN;
    EXPECT_EQ(sfc::activate(channel, 1, d, huge, d, 2, 3, nullptr), FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(sfc::changeUserPassword(channel, d, huge, d, 3), FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(sfc::unblockPassword(channel, d, 2, d, huge), FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(sfc::verify(channel, d, huge), FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(sfc::firmwareUpdateApply(channel, d, huge - 2, 0), FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(sfc::setCdromArea(channel, d, huge - 3, 0, false), FSI_RET_PARAM_APDU_SIZE_ERR);
    EXPECT_EQ(sfc::setProtectionProfiles(channel, nullptr, 0x10000001), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(commandCount(), 0u);
}

TEST_F(CardCommand, NullDataWithALengthIsRefused)
{
    EXPECT_EQ(sfc::verify(channel, nullptr, 4), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(sfc::activate(channel, 1, PIN, 4, nullptr, 8, 3, nullptr), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(sfc::firmwareUpdateTransfer(channel, 0, nullptr, 1), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(sfc::writeNVRAM(channel, nullptr, 1, true, false, 0), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(sfc::customizeCard(channel, 0, 1, nullptr), FSI_RET_INVALID_PARAMETER);
    EXPECT_EQ(commandCount(), 0u);
}

// ---- results ---------------------------------------------------------------------------

TEST_F(CardCommand, StatusWordsPassThroughAndZeroOnSuccessOnlyWhereDefined)
{
    for (unsigned sw : {0x6F02u, 0x6F03u, 0x6F04u, 0x6F05u, 0x6F0Bu, 0x6A82u}) {
        cardAnswers({}, sw);
        EXPECT_EQ(sfc::verify(channel, PIN, 4), static_cast<int>(sw));
        EXPECT_EQ(sfc::clearProtectionProfiles(channel), static_cast<int>(sw));
    }
    cardAnswers({});
    EXPECT_EQ(sfc::verify(channel, PIN, 4), 0x9000);
    EXPECT_EQ(sfc::clearProtectionProfiles(channel), 0);
    EXPECT_EQ(sfc::setExtendedSecurityFlags(channel, 1), 0);
}

TEST_F(CardCommand, AnswerWithoutStatusWordIsMalformed)
{
    for (const Bytes& payload : {Bytes{}, Bytes{0x90}}) {
        card.answerAlways(answerBlock(FSI_PAYLOAD_SE_RESPONSE, payload));
        EXPECT_EQ(sfc::lockCard(channel), SFC_ERR_MALFORMED_ANSWER);
        sfc::cardStatus status{};
        status.state = 7;
        EXPECT_EQ(sfc::getStatus(channel, &status), SFC_ERR_MALFORMED_ANSWER);
        EXPECT_EQ(status.state, 7);
    }
    EXPECT_EQ(getSW(nullptr, 0), SFC_ERR_MALFORMED_ANSWER);
    const unsigned char answer[] = {0x01, 0x6F, 0x02};
    EXPECT_EQ(getSW(answer, 3), 0x6F02);
}

TEST_F(CardCommand, TimeoutsAreTheTransportCodeAndEachCommandWaitsItsOwnTime)
{
    card.setClockStep(1000);
    EXPECT_EQ(sfc::verify(channel, PIN, 4), FSI_RET_TIMEOUT);
    EXPECT_EQ(card.polls(), 1);
    const unsigned char flags = 2;
    EXPECT_EQ(sfc::activate(channel, 1, PIN, 4, ADMIN, 8, 3, &flags), FSI_RET_TIMEOUT);
    EXPECT_EQ(card.polls(), 1 + 120);
    EXPECT_EQ(sfc::reset(channel, SFC_RESET_FACTORY, ADMIN, 8), FSI_RET_TIMEOUT);
    EXPECT_EQ(card.polls(), 1 + 120 + 120);
    EXPECT_EQ(sfc::listSessions(channel, 0, nullptr), FSI_RET_INVALID_PARAMETER);
}

TEST_F(CardCommand, PinDoesNotStayInTheTransferBlock)
{
    const Bytes pin = {'9', '8', '7', '6', '5'};
    EXPECT_EQ(sfc::verify(channel, pin.data(), 5), FSI_RET_TIMEOUT);
    EXPECT_EQ(Bytes(channel->ioBlock, channel->ioBlock + 512), Bytes(512, 0));
    cardAnswers({}, 0x6F02);
    EXPECT_EQ(sfc::changeUserPassword(channel, pin.data(), 5, PIN, 4), 0x6F02);
    EXPECT_EQ(Bytes(channel->ioBlock, channel->ioBlock + 512), Bytes(512, 0));
}

TEST_F(CardCommand, SecureElementAbsentStillSendsClassFF)
{
    card.answerAlways(answerBlock(FSI_PAYLOAD_FC_RESPONSE, {0x62, 0x00}));
    unsigned char answer[32];
    unsigned length = sizeof(answer);
    ASSERT_EQ(fsi_request(channel, answer, &length, 1000), 0);
    ASSERT_EQ(channel->sePresent, 0);
    cardAnswers({});
    EXPECT_EQ(sfc::lockCard(channel), 0x9000);
    EXPECT_EQ(sent(), (Bytes{0xFF, 0x31, 0x00, 0x00, 0x00}));
}

} // namespace
