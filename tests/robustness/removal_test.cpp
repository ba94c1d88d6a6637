// A card taken away in the middle of a multi-call operation: the session list
// read page by page, and a firmware package sent chunk by chunk. The call that
// meets the removal times out, every later one fails to open the card, nothing
// hangs and no data block was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CardManagement.h"
#include "FaultHarness.h"
#include "FileBasedSecurityInterface.h"
#include "VirtualCard.h"
#include "fakehelpers.h"

#ifndef VAULTCLI_PATH
#error "VAULTCLI_PATH must name the vaultcli program"
#endif

namespace {

using namespace std::chrono_literals;
using robustness::exitStatusForCode;
using robustness::failureLine;
using robustness::isFailureReport;
using robustness::runBounded;
using robustness::runProcess;
using vixtest::Fault;
using vixtest::Repeat;
using vixtest::VirtualCard;
using vixtest::VirtualCardOptions;

const unsigned SESSIONS = 40; // more than one page of 35
const unsigned char CHUNK[128] = {1, 2, 3};

VirtualCardOptions cardWithManySessions()
{
    VirtualCardOptions options;
    options.extraArgs = {"--size", "1M", "--activate", "1234"};
    for (unsigned i = 0; i < SESSIONS; ++i) {
        options.extraArgs.push_back("--session");
        options.extraArgs.push_back("2024-01-01T00:00:00=1K");
    }
    return options;
}

// The first matching command is answered (after a moment of busy), every later
// one finds the card gone.
void removeOnSecond(VirtualCard& card, const std::string& command)
{
    card.setFaultLine(command + " busy 1 once");
    card.setFaultLine(command + " vanish");
}

using CardRemoved = robustness::GuardedCard<cardWithManySessions>;

TEST_F(CardRemoved, DuringSessionPagingLoop)
{
    removeOnSecond(card, "list-sessions");
    // Owned by the calls too: a hung call must not outlive what it writes to.
    const auto page = std::make_shared<tresora_ac_session>();
    const auto list = [&](uint32_t index) {
        return runBounded(
            [page, path = device, index] {
                return tresora_ac_listSessions(path.c_str(), index, page.get());
            },
            60s);
    };
    ASSERT_EQ(list(0), 0);
    EXPECT_EQ(page->count, TRESORA_AC_MAX_SESSIONS_PER_PAGE);
    page->count = 77;
    EXPECT_EQ(list(TRESORA_AC_MAX_SESSIONS_PER_PAGE), FSI_RET_TIMEOUT);
    EXPECT_EQ(page->count, 77u);
    EXPECT_EQ(list(TRESORA_AC_MAX_SESSIONS_PER_PAGE), FSI_RET_OPEN_ERR);
}

TEST_F(CardRemoved, DuringFirmwareTransfer)
{
    removeOnSecond(card, "firmware-transfer");
    const auto transfer = [&](uint32_t offset) {
        return runBounded(
            [path = device, offset] {
                return tresora_ac_firmwareUpdateTransfer(path.c_str(), offset, CHUNK, 128);
            },
            60s);
    };
    EXPECT_EQ(transfer(0), 0);
    EXPECT_EQ(transfer(128), FSI_RET_TIMEOUT);
    static const unsigned char pin[] = "1234";
    EXPECT_EQ(
        runBounded(
            [path = device] { return tresora_ac_firmwareUpdateApply(path.c_str(), pin, 4, 256); },
            60s),
        FSI_RET_OPEN_ERR);
}

TEST_F(CardRemoved, DuringVaultcliListSessions)
{
    removeOnSecond(card, "list-sessions");
    const auto run = runProcess({VAULTCLI_PATH, device, "listSessions"}, 60s);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, exitStatusForCode(FSI_RET_TIMEOUT));
    EXPECT_TRUE(isFailureReport(failureLine(run.err), FSI_RET_TIMEOUT)) << run.err;
    // The header and the whole first page were printed before the card went away.
    const auto lines = std::count(run.out.begin(), run.out.end(), '\n');
    EXPECT_EQ(lines, 1 + TRESORA_AC_MAX_SESSIONS_PER_PAGE) << run.out;

    const auto after = runProcess({VAULTCLI_PATH, device, "status"}, 60s);
    EXPECT_EQ(after.exitStatus, exitStatusForCode(FSI_RET_OPEN_ERR));
    EXPECT_TRUE(isFailureReport(failureLine(after.err), FSI_RET_OPEN_ERR)) << after.err;
    EXPECT_EQ(after.out, "");
}

TEST_F(CardRemoved, DuringVaultcliFirmwareUpdate)
{
    const std::string package = card.folder() + "/update.bin";
    std::ofstream(package, std::ios::binary) << std::string(3 * 128, '\x5A');
    removeOnSecond(card, "firmware-transfer");
    const auto run = runProcess(
        {VAULTCLI_PATH, device, "firmwareUpdate", "--pin", "1234", "--file", package}, 60s);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, exitStatusForCode(FSI_RET_TIMEOUT));
    EXPECT_NE(run.err.find("Transferring FW\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Applying FW"), std::string::npos) << run.err;
    EXPECT_TRUE(isFailureReport(failureLine(run.err), FSI_RET_TIMEOUT)) << run.err;
    EXPECT_EQ(run.out, "");
}

} // namespace
