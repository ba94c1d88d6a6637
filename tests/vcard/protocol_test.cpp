// Block layout, multi-block assembly, fault rules and the state file.
#include <gtest/gtest.h>

#include "vcard/Card.h"
#include "vcard/Faults.h"
#include "vcard/StateFile.h"

using namespace vcard;

namespace {

Block commandBlock(std::uint8_t type, bool more, const Bytes& payload)
{
    Block block{};
    std::copy(std::begin(FSI_COMMAND_IDENTIFIER), std::end(FSI_COMMAND_IDENTIFIER), block.begin());
    block[32] = type;
    block[33] = more ? 1 : 0;
    block[34] = std::uint8_t(payload.size() >> 8);
    block[35] = std::uint8_t(payload.size());
    std::copy(payload.begin(), payload.end(), block.begin() + 36);
    return block;
}

TEST(BlockProtocol, CommandBlocksAreRecognisedAndChecked)
{
    CommandBlock parsed;
    Block block = commandBlock(kSecureElementCommand, false, {0xFF, 0x70, 0, 0, 0});
    ASSERT_TRUE(parseCommandBlock(block, parsed));
    EXPECT_EQ(parsed.type, kSecureElementCommand);
    EXPECT_EQ(parsed.payload, Bytes({0xFF, 0x70, 0, 0, 0}));

    block[35] = 0xD9; // 473: more than one block carries
    block[34] = 0x01;
    EXPECT_FALSE(parseCommandBlock(block, parsed));
    block[5] ^= 1;
    EXPECT_FALSE(isCommandBlock(block));
}

TEST(BlockProtocol, MoreFollowsBlocksAreJoined)
{
    CommandAssembler assembler;
    Bytes first(kCommandPayloadMax, 0x11);
    CommandBlock part;
    ASSERT_TRUE(parseCommandBlock(commandBlock(1, true, first), part));
    EXPECT_EQ(assembler.add(part), CommandAssembler::Result::Incomplete);
    ASSERT_TRUE(parseCommandBlock(commandBlock(1, false, {0x22}), part));
    EXPECT_EQ(assembler.add(part), CommandAssembler::Result::Complete);
    EXPECT_EQ(assembler.command().size(), kCommandPayloadMax + 1);
    EXPECT_EQ(assembler.command().back(), 0x22);
    EXPECT_EQ(assembler.blockCount(), 2u);

    // A block of another type does not continue the command in progress.
    assembler.clear();
    ASSERT_TRUE(parseCommandBlock(commandBlock(1, true, {1, 2}), part));
    assembler.add(part);
    ASSERT_TRUE(parseCommandBlock(commandBlock(0, false, {3}), part));
    EXPECT_EQ(assembler.add(part), CommandAssembler::Result::Complete);
    EXPECT_EQ(assembler.command(), Bytes({3}));
}

TEST(BlockProtocol, AnswerBlockLayout)
{
    Answer answer = statusOnly(kSecureElementAnswer, 0x6F02);
    Block block = makeAnswerBlock(answer);
    EXPECT_EQ(block[0], kSecureElementAnswer);
    EXPECT_EQ(block[2], 0);
    EXPECT_EQ(block[3], 2);
    EXPECT_EQ(block[4], 0x6F);
    EXPECT_EQ(block[5], 0x02);

    answer.payload.assign(600, 0x55); // never written past the block
    answer.lengthOverridden = true;
    answer.announcedLength = 600;
    block = makeAnswerBlock(answer);
    EXPECT_EQ((block[2] << 8) | block[3], 600);
    EXPECT_EQ(makeBusyBlock()[0], kBusy);
}

TEST(CommandWatch, AWriteIsTakenOnceWhateverWayAndHowOftenItIsNoticed)
{
    using std::chrono::milliseconds;
    CommandWatch watch;
    const Block status = commandBlock(kSecureElementCommand, false, {0xFF, 0x70, 0, 0, 0});
    const auto t0 = CommandWatch::Clock::now();

    EXPECT_TRUE(watch.isNew(status, false, t0)) << "seen by the fallback poll";
    EXPECT_FALSE(watch.isNew(status, false, t0 + milliseconds(5))) << "polled again";
    EXPECT_FALSE(watch.isNew(status, true, t0 + milliseconds(10))) << "its late notice";
    EXPECT_FALSE(watch.isNew(status, true, t0 + milliseconds(30))) << "a second notice";
    // Left unanswered (no-answer fault), the host writes the same bytes again
    // once its 1 s timeout has passed.
    EXPECT_TRUE(watch.isNew(status, true, t0 + milliseconds(1010)));
    EXPECT_FALSE(watch.isNew(status, false, t0 + milliseconds(3000)));
}

// Two equal queries in a row (a status query, then the Admin-user query), the
// second written right after the first was answered.
TEST(CommandWatch, TheSameCommandAfterAnAnswerIsANewWrite)
{
    using std::chrono::milliseconds;
    CommandWatch watch;
    const Block status = commandBlock(kSecureElementCommand, false, {0xFF, 0x70, 0, 0, 0});
    const auto t0 = CommandWatch::Clock::now();

    ASSERT_TRUE(watch.isNew(status, false, t0));
    watch.replaced();
    EXPECT_TRUE(watch.isNew(status, true, t0 + milliseconds(2)));
    watch.replaced();
    EXPECT_TRUE(watch.isNew(status, false, t0 + milliseconds(4))) << "also when only polled";
}

TEST(FaultRules, FirstPageAsksFromIndexZeroOnlyForTheSessionList)
{
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(parseFaultRule("list-sessions first-page", rule, error)) << error;
    EXPECT_TRUE(faultExecutesCommand(rule));
    EXPECT_EQ(faultedCommand(rule, {0xFF, 0x71, 0, 0, 4, 0, 0, 0x01, 0x23}),
              Bytes({0xFF, 0x71, 0, 0, 4, 0, 0, 0, 0}));
    const Bytes status{0xFF, 0x70, 0, 0, 0};
    EXPECT_EQ(faultedCommand(rule, status), status);
    const Bytes truncated{0xFF, 0x71, 0, 0, 4, 1};
    EXPECT_EQ(faultedCommand(rule, truncated), truncated);
}

TEST(FaultRules, ParsingNamesCodesAndErrors)
{
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(parseFaultRule("verify status 6f02 once", rule, error));
    EXPECT_EQ(rule.ins, 0x30);
    EXPECT_EQ(rule.kind, FaultKind::StatusWord);
    EXPECT_EQ(rule.argument, 0x6F02u);
    EXPECT_TRUE(rule.once);

    ASSERT_TRUE(parseFaultRule("0x71 overcount 3", rule, error));
    EXPECT_EQ(rule.ins, 0x71);
    EXPECT_EQ(rule.argument, 3u);
    EXPECT_FALSE(rule.once);
    ASSERT_TRUE(parseFaultRule("wipe busy 200", rule, error));
    EXPECT_EQ(rule.p2, 3);

    EXPECT_FALSE(parseFaultRule("verify", rule, error));
    EXPECT_FALSE(parseFaultRule("nosuch no-answer", rule, error));
    EXPECT_FALSE(parseFaultRule("verify status", rule, error));
    EXPECT_FALSE(parseFaultRule("verify status 12345", rule, error));
    EXPECT_FALSE(parseFaultRule("verify short 2", rule, error));
    EXPECT_FALSE(parseFaultRule("verify busy 1 2", rule, error));
}

TEST(FaultRules, OnceRulesAreUsedUpAndFirstMatchWins)
{
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(plan.parse("# comment\nstatus no-answer once\nany wrong-type\n", error)) << error;
    const Bytes status = {0xFF, 0x70, 0, 0, 0};
    const Bytes login = {0xFF, 0x30, 0, 0, 0};
    FaultRule rule;
    ASSERT_TRUE(plan.take(kSecureElementCommand, status, rule));
    EXPECT_EQ(rule.kind, FaultKind::NoAnswer);
    ASSERT_TRUE(plan.take(kSecureElementCommand, status, rule));
    EXPECT_EQ(rule.kind, FaultKind::WrongType);
    ASSERT_TRUE(plan.take(kSecureElementCommand, login, rule));

    ASSERT_TRUE(plan.parse("ct-request status 6a82", error));
    EXPECT_FALSE(plan.take(kSecureElementCommand, status, rule));
    EXPECT_TRUE(plan.take(kTerminalCommand, {0x20, 0x12, 1, 1, 0}, rule));
    EXPECT_FALSE(plan.parse("status no-answer\nbogus", error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
}

TEST(FaultRules, AnswersAreShaped)
{
    Answer list;
    appendU32(list.payload, 1);
    list.payload.insert(list.payload.end(), kSessionRecordSize, 0);
    appendStatusWord(list.payload, 0x9000);
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(parseFaultRule("list-sessions overcount 35", rule, error));
    Answer shaped = shapeAnswer(rule, list, {0xFF, 0x71, 0, 0, 4, 0, 0, 0, 0});
    EXPECT_EQ(shaped.payload[3], 36);
    EXPECT_EQ(shaped.payload.size(), list.payload.size());

    ASSERT_TRUE(parseFaultRule("any short 1", rule, error));
    EXPECT_EQ(shapeAnswer(rule, list, {}).payload.size(), 1u);
    ASSERT_TRUE(parseFaultRule("any wrong-type", rule, error));
    EXPECT_EQ(shapeAnswer(rule, list, {}).type, kTerminalAnswer);
    ASSERT_TRUE(parseFaultRule("any status 6985", rule, error));
    EXPECT_EQ(shapeAnswer(rule, list, {}).payload, Bytes({0x69, 0x85}));
    EXPECT_FALSE(faultExecutesCommand(rule));
    ASSERT_TRUE(parseFaultRule("any busy", rule, error));
    EXPECT_FALSE(faultExecutesCommand(rule));
    ASSERT_TRUE(parseFaultRule("any busy 30", rule, error));
    EXPECT_TRUE(faultExecutesCommand(rule));
}

TEST(StateFile, RoundTripKeepsEverything)
{
    CardState state;
    state.state = kLocked;
    state.pin = "12 4";
    state.adminPin = std::string("a\0b=c", 5);
    state.securityFlags = kFlagAdminSeparation;
    state.retryLimit = 5;
    state.pinTries = 2;
    state.adminTries = 4;
    state.cdromArea = kWholeCardReadOnly;
    state.firmwareVersion = 0x00030201;
    state.updateVersion = 0x00040000;
    state.controllerId = {0xDE, 0xAD};
    state.formFactor = 'L';
    state.generation = 1;
    state.fileSystemValid = false;
    state.sessions = {{3, packDate(2023, 2, 16, 11, 7, 0), -8, 0, 100},
                      {4, 0x00000000, kZoneMarker, 1, 7}};
    state.current = {5, packDate(2024, 1, 1, 0, 0, 0), kZoneMarker, 0, 0};
    state.shownSession = 3;
    state.profiles = {{1, 0x10}, {2, 0xFFFFFFFFFFFFFFFFull}};
    state.nvram.assign(128, 0);
    state.nvram[5] = 9;

    CardState read;
    std::string error;
    ASSERT_TRUE(parseState(formatState(state), read, error)) << error;
    EXPECT_EQ(formatState(read), formatState(state));
    EXPECT_EQ(read.adminPin, state.adminPin);
    EXPECT_EQ(read.sessions[0].zone, -8);
    EXPECT_EQ(read.sessions[1].packedDate, 0u);
    EXPECT_EQ(read.nvram.size(), 128u);
    EXPECT_EQ(read.nvram[5], 9);
}

TEST(StateFile, ErrorsNameTheLine)
{
    CardState state;
    std::string error;
    EXPECT_FALSE(parseState("state = unlocked\n", state, error));
    EXPECT_FALSE(parseState("format = 1\nstate = sleepy\n", state, error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_FALSE(parseState("format = 1\nsession = 1 2023-13-01T00:00:00 A 0 1\n", state, error));
    EXPECT_FALSE(parseState("format = 1\npin = 3g\n", state, error));
    EXPECT_FALSE(parseState("format = 2\n", state, error));
    EXPECT_TRUE(parseState("# comment\n\nformat = 1\n", state, error));
}

// The state file and `vaultsim create` share one parser, and so one limit, per field.
TEST(StateFile, FieldLimits)
{
    const std::string longestId(2 * kControllerIdMax, 'a'); // what one answer carries
    const struct
    {
        const char* key;
        std::string value;
        bool accepted;
    } cases[] = {
        {"controller-id", "ab", true},
        {"controller-id", longestId, true},
        {"controller-id", longestId + "ab", false},
        {"controller-id", "", false},
        {"long-command-ms", "600000", true},
        {"long-command-ms", "600001", false},
    };
    for (const auto& c : cases) {
        CardState state;
        std::string error;
        EXPECT_EQ(
            parseState("format = 1\n" + std::string(c.key) + " = " + c.value + "\n", state, error),
            c.accepted)
            << c.key << " of " << c.value.size() << " characters";
    }
}

TEST(PackedDates, PackingAndValidity)
{
    EXPECT_EQ(packDate(2023, 2, 16, 11, 7, 0), 0x0CA0B1C0u);
    EXPECT_EQ(packedDateText(0x0CA0B1C0u), "2023-02-16T11:07:00");
    EXPECT_EQ(packUtc(1700000000), packDate(2023, 11, 14, 22, 13, 20));
    EXPECT_FALSE(packedDateValid(packDate(2023, 13, 1, 0, 0, 0)));
    EXPECT_FALSE(packedDateValid(packDate(2023, 1, 0, 0, 0, 0)));
    EXPECT_FALSE(packedDateValid(packDate(2023, 1, 1, 24, 0, 0)));
    EXPECT_TRUE(packedDateValid(packDate(2023, 1, 1, 0, 0, 60)));
    std::uint32_t version = 0;
    EXPECT_TRUE(parseVersion("1.2.10", version));
    EXPECT_EQ(version, 0x0001020Au);
    EXPECT_EQ(versionText(version), "1.2.10");
    EXPECT_FALSE(parseVersion("1.2", version));
    EXPECT_FALSE(parseVersion("1.256.0", version));
}

} // namespace
