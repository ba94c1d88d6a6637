// The card's state machine, driven with APDUs on the vcard library directly.
#include <gtest/gtest.h>

#include "vcard/Card.h"

using namespace vcard;

namespace {

constexpr std::time_t kNow = 1700000000; // 2023-11-14T22:13:20Z

Bytes item(const std::string& text)
{
    Bytes out(text.size() + 1, std::uint8_t(text.size()));
    std::copy(text.begin(), text.end(), out.begin() + 1);
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes u32(std::uint32_t value)
{
    Bytes out;
    appendU32(out, value);
    return out;
}

struct Reply
{
    std::uint16_t sw;
    Bytes data;
    std::uint32_t busyMs;
};

class CardTest : public ::testing::Test
{
protected:
    Reply send(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, const Bytes& data = {})
    {
        Bytes apdu = {0xFF, ins, p1, p2, std::uint8_t(data.size())};
        apdu.insert(apdu.end(), data.begin(), data.end());
        Response response = card.process(kSecureElementCommand, apdu, kNow);
        const Bytes& payload = response.answer.payload;
        EXPECT_EQ(response.answer.type, kSecureElementAnswer);
        EXPECT_GE(payload.size(), 2u);
        std::uint16_t sw = std::uint16_t(payload[payload.size() - 2] << 8 | payload.back());
        return {sw, Bytes(payload.begin(), payload.end() - 2), response.busyMs};
    }
    std::uint16_t activate(const std::string& pin, const std::string& admin, std::uint8_t retries,
                           int flags = -1)
    {
        Bytes data = cat({item(pin), item(admin), {retries}});
        if (flags >= 0) {
            data.push_back(std::uint8_t(flags));
        }
        return send(0x10, 1, 0, data).sw;
    }
    std::uint16_t verify(const std::string& pin) { return send(0x30, 0, 0, item(pin)).sw; }
    std::uint16_t resetCard(std::uint8_t mode, const std::string& secret)
    {
        return send(0x60, 0, mode, secret.empty() ? Bytes{} : item(secret)).sw;
    }
    Bytes status() { return send(0x70, 0, 0).data; }
    void addSessions(std::uint32_t count)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(send(0x73, 1, 0).sw, sw::kOk);
        }
    }

    Card card{[] {
        CardState state;
        state.longCommandMs = 250;
        return state;
    }()};
};

TEST_F(CardTest, ActivationWithSeparateAdminUser)
{
    addSessions(2);
    Reply reply = send(0x10, 1, 0, cat({item("1234"), item("admin-pin"), {5}, {0x02}}));
    EXPECT_EQ(reply.sw, sw::kOk);
    EXPECT_EQ(reply.busyMs, 250u);
    Bytes s = status();
    ASSERT_EQ(s.size(), 15u);
    EXPECT_EQ(s[1], kUnlocked);
    EXPECT_EQ(s[2], 5);
    EXPECT_EQ(s[3], 5);
    EXPECT_EQ(Bytes(s.begin() + 10, s.begin() + 14), u32(kWholeCardReadOnly));
    EXPECT_EQ(s[14], kFlagAdminSeparation);
    EXPECT_TRUE(card.state().sessions.empty()) << "activation discards the content";
    EXPECT_EQ(activate("1234", "admin-pin", 5), sw::kConditionsNotSatisfied);
}

TEST_F(CardTest, ActivationWithoutFlagsKeepsTheDerivedAdminPin)
{
    EXPECT_EQ(activate("1234", "12340000", 3), sw::kOk);
    EXPECT_EQ(status()[14], 0);
    EXPECT_EQ(card.state().adminPin, "12340000");
    EXPECT_EQ(resetCard(4, "12340000"), sw::kOk);
    EXPECT_EQ(status()[1], kTransparent);
}

TEST_F(CardTest, ActivationRefusals)
{
    EXPECT_EQ(activate("123", "12345678", 3), sw::kPinLength);
    EXPECT_EQ(activate("1234567890123456", "12345678", 3), sw::kPinLength);
    EXPECT_EQ(activate("1234", "1234567", 3), sw::kPinLength);
    EXPECT_EQ(activate("1234", std::string(21, 'a'), 3), sw::kPinLength);
    EXPECT_EQ(activate("1234", "12345678", 2), sw::kWrongData);
    EXPECT_EQ(activate("1234", "12345678", 16), sw::kWrongData);
    EXPECT_EQ(send(0x10, 2, 0, cat({item("1234"), item("12345678"), {3}})).sw,
              sw::kWrongParameters);
    EXPECT_EQ(send(0x10, 1, 0, cat({item("1234"), {9}})).sw, sw::kWrongLength);
    EXPECT_EQ(status()[1], kTransparent);

    card.state().fileSystemValid = false;
    EXPECT_EQ(activate("1234", "12345678", 3), sw::kInvalidFileSystem);
    EXPECT_EQ(status()[1], kTransparent);
}

TEST_F(CardTest, WrongPinCountsDownUntilBlockedAndCorrectPinRestores)
{
    ASSERT_EQ(activate("1234", "12345678", 3), sw::kOk);
    ASSERT_EQ(send(0x31, 0, 0).sw, sw::kOk);
    EXPECT_EQ(verify("9999"), sw::kWrongPin);
    EXPECT_EQ(status()[2], 2);
    EXPECT_EQ(verify("1234"), sw::kOk);
    EXPECT_EQ(status()[2], 3) << "a correct PIN resets the counter";
    ASSERT_EQ(send(0x31, 0, 0).sw, sw::kOk);

    EXPECT_EQ(verify("9999"), sw::kWrongPin);
    EXPECT_EQ(verify("9999"), sw::kWrongPin);
    EXPECT_EQ(verify("9999"), sw::kBlockedNow);
    EXPECT_EQ(status()[2], 0);
    EXPECT_EQ(verify("1234"), sw::kRetriesExhausted);
    EXPECT_EQ(status()[1], kLocked);
    EXPECT_EQ(verify("12"), sw::kPinLength) << "a refused length costs no try";
}

TEST_F(CardTest, LengthRefusalCostsNoTry)
{
    ASSERT_EQ(activate("1234", "12345678", 3), sw::kOk);
    EXPECT_EQ(verify("123"), sw::kPinLength);
    EXPECT_EQ(status()[2], 3);
}

TEST_F(CardTest, UnblockNeedsTheAdminUser)
{
    ASSERT_EQ(activate("1234", "12340000", 3), sw::kOk);
    EXPECT_EQ(send(0x50, 0, 0, cat({item("12340000"), item("5678")})).sw,
              sw::kConditionsNotSatisfied);
}

TEST_F(CardTest, UnblockSetsANewPinAndCountsAdminTries)
{
    ASSERT_EQ(activate("1234", "admin-pin", 3, kFlagAdminSeparation), sw::kOk);
    ASSERT_EQ(send(0x31, 0, 0).sw, sw::kOk);
    for (int i = 0; i < 3; ++i) {
        verify("0000");
    }
    EXPECT_EQ(send(0x50, 0, 0, cat({item("wrong-pin"), item("5678")})).sw, sw::kWrongPin);
    EXPECT_EQ(status()[3], 2);
    EXPECT_EQ(send(0x50, 0, 0, cat({item("admin-pin"), item("567")})).sw, sw::kPinLength);
    EXPECT_EQ(send(0x50, 0, 0, cat({item("admin-pin"), item("5678")})).sw, sw::kOk);
    Bytes s = status();
    EXPECT_EQ(s[2], 3);
    EXPECT_EQ(s[3], 3);
    EXPECT_EQ(verify("1234"), sw::kWrongPin);
    EXPECT_EQ(verify("5678"), sw::kOk);
}

TEST_F(CardTest, ChangePinAndAdminPin)
{
    ASSERT_EQ(activate("1234", "admin-pin", 3, kFlagAdminSeparation), sw::kOk);
    EXPECT_EQ(send(0x40, 0, 0, cat({item("1234"), item("12")})).sw, sw::kPinLength);
    EXPECT_EQ(send(0x40, 0, 0, cat({item("9999"), item("4321")})).sw, sw::kWrongPin);
    EXPECT_EQ(send(0x40, 0, 0, cat({item("1234"), item("4321")})).sw, sw::kOk);
    EXPECT_EQ(send(0x40, 1, 0, cat({item("admin-pin"), item("new-admin")})).sw, sw::kOk);
    EXPECT_EQ(send(0x40, 2, 0, cat({item("a"), item("b")})).sw, sw::kWrongParameters);
    EXPECT_EQ(card.state().pin, "4321");
    EXPECT_EQ(card.state().adminPin, "new-admin");
}

TEST_F(CardTest, LoginLogoutNeedAnActivatedCard)
{
    EXPECT_EQ(send(0x31, 0, 0).sw, sw::kConditionsNotSatisfied);
    EXPECT_EQ(verify("1234"), sw::kConditionsNotSatisfied);
    ASSERT_EQ(activate("1234", "12345678", 3), sw::kOk);
    EXPECT_EQ(send(0x31, 0, 0).sw, sw::kOk);
    EXPECT_EQ(status()[1], kLocked);
    EXPECT_TRUE(card.contentProtected());
    EXPECT_EQ(verify("1234"), sw::kOk);
    EXPECT_EQ(status()[1], kUnlocked);
}

TEST_F(CardTest, WipeKeepsSecurityAndFactoryResetEndsIt)
{
    ASSERT_EQ(activate("1234", "admin-pin", 3, kFlagAdminSeparation), sw::kOk);
    addSessions(3);
    EXPECT_EQ(resetCard(3, "1234"), sw::kPinLength) << "with an Admin user the wipe takes its PIN";
    EXPECT_EQ(resetCard(3, "admin-pix"), sw::kWrongPin);
    EXPECT_EQ(card.state().sessions.size(), 3u);
    Reply wipe = send(0x60, 0, 3, item("admin-pin"));
    EXPECT_EQ(wipe.sw, sw::kOk);
    EXPECT_EQ(wipe.busyMs, 250u);
    EXPECT_TRUE(card.state().sessions.empty());
    EXPECT_EQ(status()[1], kUnlocked);
    EXPECT_EQ(verify("1234"), sw::kOk) << "the PIN survives a wipe";

    EXPECT_EQ(resetCard(4, ""), sw::kPinLength);
    EXPECT_EQ(resetCard(5, "admin-pin"), sw::kWrongParameters);
    EXPECT_EQ(resetCard(4, "admin-pin"), sw::kOk);
    Bytes s = status();
    EXPECT_EQ(s[1], kTransparent);
    EXPECT_EQ(s[14], 0);
    EXPECT_EQ(resetCard(4, "admin-pin"), sw::kConditionsNotSatisfied);
    EXPECT_EQ(activate("5555", "55550000", 4), sw::kOk) << "a reset card can be activated again";
}

TEST_F(CardTest, WipeWithoutAdminUserTakesThePin)
{
    ASSERT_EQ(activate("1234", "12340000", 3), sw::kOk);
    EXPECT_EQ(resetCard(3, "1234"), sw::kOk);
    EXPECT_EQ(status()[1], kUnlocked);
}

TEST_F(CardTest, ReadOnlyArea)
{
    Reply set = send(0x53, 1, 0, u32(kWholeCardReadOnly));
    EXPECT_EQ(set.sw, sw::kReadOnlySet);
    Bytes s = status();
    EXPECT_EQ(Bytes(s.begin() + 10, s.begin() + 14), u32(kWholeCardReadOnly));
    EXPECT_EQ(makeIdentificationSector(card.state())[50], 1);
    EXPECT_EQ(send(0x53, 0, 0).sw, sw::kOk);
    EXPECT_EQ(card.state().cdromArea, 0u);
    EXPECT_EQ(makeIdentificationSector(card.state())[50], 0);
    EXPECT_EQ(send(0x53, 1, 0, {1, 2}).sw, sw::kWrongLength);
}

TEST_F(CardTest, SessionListPagesAndRecordLayout)
{
    card.state().current.packedDate = packDate(2023, 2, 16, 11, 7, 0);
    card.state().current.zone = 4;
    card.setSessionSectors(1, 2048);
    addSessions(40);
    Reply first = send(0x71, 0, 0, u32(0));
    ASSERT_EQ(first.sw, sw::kOk);
    ASSERT_EQ(first.data.size(), 4 + 35 * kSessionRecordSize);
    EXPECT_EQ(Bytes(first.data.begin(), first.data.begin() + 4), u32(35));
    Bytes record(first.data.begin() + 4, first.data.begin() + 18);
    Bytes expected = cat({u32(1), u32(0x0CA0B1C0), {4, 0}, u32(2048)});
    EXPECT_EQ(record, expected);

    Reply second = send(0x71, 0, 0, u32(35));
    EXPECT_EQ(Bytes(second.data.begin(), second.data.begin() + 4), u32(5));
    EXPECT_EQ(second.data.size(), 4 + 5 * kSessionRecordSize);
    EXPECT_EQ(send(0x71, 0, 0, u32(40)).data, u32(0));
    EXPECT_EQ(send(0x71, 0, 0, u32(0xFFFFFFFF)).data, u32(0));
    EXPECT_EQ(send(0x71, 0, 0, {0, 0}).sw, sw::kWrongLength);
}

TEST_F(CardTest, SwitchingNeedsAnUnlockedCardAndAKnownSession)
{
    addSessions(2); // sessions 1 and 2 recorded, 3 current
    EXPECT_EQ(send(0x72, 0, 0, u32(2)).sw, sw::kOk);
    EXPECT_EQ(card.shownSessionId(), 2u);
    EXPECT_EQ(send(0x72, 0, 0, u32(9)).sw, sw::kNotFound);
    EXPECT_EQ(card.shownSessionId(), 2u);

    ASSERT_EQ(activate("1234", "12345678", 3), sw::kOk);
    addSessions(1);
    const std::uint32_t recorded = card.state().sessions.front().id;
    EXPECT_GT(recorded, 3u) << "ids of discarded content are not reused";
    ASSERT_EQ(send(0x31, 0, 0).sw, sw::kOk);
    EXPECT_EQ(send(0x72, 0, 0, u32(recorded)).sw, sw::kSecurityNotSatisfied);
    EXPECT_EQ(send(0x71, 0, 0, u32(0)).sw, sw::kSecurityNotSatisfied);
    ASSERT_EQ(verify("1234"), sw::kOk);
    EXPECT_EQ(send(0x72, 0, 0, u32(recorded)).sw, sw::kOk);
    EXPECT_EQ(card.shownSessionId(), recorded);
    EXPECT_EQ(send(0x72, 0, 0, u32(card.state().current.id)).sw, sw::kOk);
    EXPECT_EQ(card.shownSessionId(), card.state().current.id);
}

TEST_F(CardTest, DiscardDropsTheCurrentSessionAndNewSessionRecordsIt)
{
    addSessions(1);
    ASSERT_EQ(send(0x72, 0, 0, u32(1)).sw, sw::kOk);
    const std::uint32_t current = card.state().current.id;
    EXPECT_EQ(send(0x73, 0, 0).sw, sw::kOk);
    EXPECT_EQ(card.state().sessions.size(), 1u);
    EXPECT_NE(card.state().current.id, current);
    EXPECT_EQ(card.shownSessionId(), card.state().current.id) << "back to the live session";
    EXPECT_EQ(card.state().current.packedDate, packUtc(kNow));

    EXPECT_EQ(send(0x73, 1, 0).sw, sw::kOk);
    ASSERT_EQ(card.state().sessions.size(), 2u);
    EXPECT_EQ(card.state().sessions.back().id, current + 1);
    EXPECT_EQ(send(0x73, 2, 0).sw, sw::kWrongParameters);
}

TEST_F(CardTest, FirmwareTransferAndApply)
{
    Bytes chunk(128, 0xAB);
    auto transfer = [&](std::uint32_t offset) {
        return send(0xAA, 0, 0, cat({u32(offset), {0, 128}, chunk})).sw;
    };
    auto apply = [&](const std::string& pin, std::uint32_t total) {
        return send(0xAA, 1, 0, cat({item(pin), u32(total)})).sw;
    };
    ASSERT_EQ(activate("1234", "12340000", 3), sw::kOk);
    EXPECT_EQ(transfer(0), sw::kOk);
    EXPECT_EQ(transfer(256), sw::kWrongOffset);
    EXPECT_EQ(transfer(128), sw::kOk);
    EXPECT_EQ(apply("12340000", 384), sw::kWrongData);
    EXPECT_EQ(apply("wrongpin", 256), sw::kWrongPin);
    EXPECT_EQ(apply("12340000", 256), sw::kOk);
    EXPECT_EQ(card.state().firmwareVersion, 0x00010204u);
    EXPECT_EQ(apply("12340000", 256), sw::kWrongData) << "the package is used up";

    card.state().updateVersion = 0x00010000; // older: no downgrade
    ASSERT_EQ(transfer(0), sw::kOk);
    EXPECT_EQ(apply("1234", 128), sw::kOk) << "without an Admin user the PIN also serves";
    EXPECT_EQ(card.state().firmwareVersion, 0x00010204u);

    card.state().updateKeepsVersion = true;
    ASSERT_EQ(transfer(0), sw::kOk);
    EXPECT_EQ(apply("12340000", 128), sw::kOk);
    EXPECT_EQ(card.state().firmwareVersion, 0x00010204u);

    card.state().updateKeepsVersion = false;
    card.state().updateVersion = 0x00020000;
    ASSERT_EQ(transfer(0), sw::kOk);
    EXPECT_EQ(apply("12340000", 128), sw::kOk);
    EXPECT_EQ(send(0x70, 2, 0).data, u32(0x00020000));
}

TEST_F(CardTest, QueriesAndMalformedCommands)
{
    card.state().controllerId = {1, 2, 3, 4, 5};
    EXPECT_EQ(send(0x70, 6, 0).data, Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(send(0x70, 1, 0).data.size(), 16u);
    EXPECT_EQ(send(0x70, 2, 1).data.size(), 12u);
    EXPECT_EQ(send(0x70, 8, 0).data.size(), 64u);
    EXPECT_EQ(send(0x70, 0x0A, 0).sw, sw::kWrongParameters);
    EXPECT_EQ(send(0x70, 0, 0, {1}).sw, sw::kWrongLength);
    EXPECT_EQ(send(0x99, 0, 0).sw, sw::kUnknownInstruction);

    Bytes wrongClass = {0x80, 0x70, 0, 0, 0};
    Response response = card.process(kSecureElementCommand, wrongClass, kNow);
    EXPECT_EQ(response.answer.payload, Bytes({0x6E, 0x00}));
    Bytes lcTooLarge = {0xFF, 0x70, 0, 0, 3, 1};
    response = card.process(kSecureElementCommand, lcTooLarge, kNow);
    EXPECT_EQ(response.answer.payload, Bytes({0x67, 0x00}));
}

TEST_F(CardTest, ProfilesAndNvram)
{
    Bytes profiles = {2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   0x10,
                      2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20};
    EXPECT_EQ(send(0x53, 3, 1, profiles).sw, sw::kOk);
    EXPECT_EQ(send(0x70, 7, 0).data, profiles);
    EXPECT_EQ(send(0x53, 3, 1, {3, 1}).sw, sw::kWrongLength);
    EXPECT_EQ(send(0x53, 3, 0).sw, sw::kOk);
    EXPECT_EQ(send(0x70, 7, 0).data, Bytes({0}));

    EXPECT_EQ(send(0xD1, 0, 0, cat({u32(10), {7, 8, 9}})).sw, sw::kOk);
    Reply read = send(0xD0, 0, 0, u32(10));
    ASSERT_GE(read.data.size(), 3u);
    EXPECT_EQ(Bytes(read.data.begin(), read.data.begin() + 3), Bytes({7, 8, 9}));
    EXPECT_EQ(send(0xD0, 0, 1, u32(0)).data, Bytes({0x10, 0x00}));
    EXPECT_EQ(send(0xD1, 0, 0, cat({u32(4095), {1, 2}})).sw, sw::kWrongOffset);
}

TEST_F(CardTest, TerminalCommands)
{
    Response request = card.process(kTerminalCommand, {0x20, 0x12, 1, 1, 0}, kNow);
    EXPECT_EQ(request.answer.type, kTerminalAnswer);
    const Bytes& atr = request.answer.payload;
    ASSERT_EQ(atr.size(), 17u);
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < 14; ++i) {
        check ^= atr[i];
    }
    EXPECT_EQ(atr[14], check);
    EXPECT_EQ(Bytes(atr.end() - 2, atr.end()), Bytes({0x90, 0x00}));

    card.state().secureElementPresent = false;
    EXPECT_EQ(card.process(kTerminalCommand, {0x20, 0x12, 1, 1, 0}, kNow).answer.payload,
              Bytes({0x6A, 0x82}));
    EXPECT_EQ(card.process(kTerminalCommand, {0x20, 0x15, 1, 0, 0}, kNow).answer.payload,
              Bytes({0x90, 0x00}));
}

TEST_F(CardTest, IdentificationSectorFollowsTheState)
{
    card.state().formFactor = 'L';
    card.state().incompatibilityFlags = 0x1A;
    Block sector = makeIdentificationSector(card.state());
    EXPECT_STREQ(reinterpret_cast<const char*>(sector.data()), "Kendrova-SFC-SD-ccv2");
    EXPECT_EQ(sector[35], 'L');
    EXPECT_EQ(sector[48], 0);
    EXPECT_EQ(sector[51], 0x1A);
    ASSERT_EQ(activate("1234", "admin-pin", 3, kFlagAdminSeparation), sw::kOk);
    sector = makeIdentificationSector(card.state());
    EXPECT_EQ(sector[48], 1);
    EXPECT_EQ(sector[50], 1) << "activation leaves the card read-only";
    EXPECT_EQ(sector[52], kFlagAdminSeparation);
    card.state().generation = 1;
    EXPECT_STREQ(reinterpret_cast<const char*>(makeIdentificationSector(card.state()).data()),
                 "Kendrova-SFC-SD-ccv1");
}

TEST(CardPower, APowerCycleKeepsOnlyWhatTheCardStores)
{
    const struct
    {
        std::uint8_t before;
        std::uint8_t after;
    } cases[] = {{kUnlocked, kLocked}, {kLocked, kLocked}, {kTransparent, kTransparent}};
    for (const auto& test : cases) {
        CardState state;
        state.state = test.before;
        state.pin = "1234";
        state.pinTries = 2;
        state.cdromArea = kWholeCardReadOnly;
        state.readException = 7;
        state.sessions = {Session{1}};
        state.current.id = 2;
        state.shownSession = 1;
        state.firmwareReceived = 256;
        Card card(state);
        card.powerCycle();
        const CardState& now = card.state();
        EXPECT_EQ(now.state, test.after);
        EXPECT_EQ(now.cdromArea, 0u);
        EXPECT_EQ(now.shownSession, 0u);
        EXPECT_EQ(now.firmwareReceived, 0u);
        EXPECT_EQ(now.pin, "1234");
        EXPECT_EQ(now.pinTries, 2);
        EXPECT_EQ(now.readException, 7u);
        EXPECT_EQ(now.sessions.size(), 1u);
    }
}

} // namespace
