#include "utils.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string text(const Secret& secret)
{
    return std::string(secret.view());
}

TEST(CliArguments, RejectsEmptyArgumentsAndWhiteSpace)
{
    const char* good[] = {"vaultcli", "/dev/sdb1", "login", "--pin", "12 34"};
    EXPECT_TRUE(argumentsAreWellFormed(4, good));
    EXPECT_FALSE(argumentsAreWellFormed(5, good));
    const char* tab[] = {"vaultcli", "/dev/sdb1\tstatus"};
    EXPECT_FALSE(argumentsAreWellFormed(2, tab));
    const char* newline[] = {"vaultcli", "/dev/sdb1", "status\n"};
    EXPECT_FALSE(argumentsAreWellFormed(3, newline));
    const char* empty[] = {"vaultcli", "", "-h"};
    EXPECT_FALSE(argumentsAreWellFormed(3, empty));
    // The program name is not part of the command line.
    const char* spacedProgram[] = {"my vaultcli", "-h"};
    EXPECT_TRUE(argumentsAreWellFormed(2, spacedProgram));
}

TEST(CliArguments, JoinsWithSingleSpacesAndShortensLongArguments)
{
    const char* argv[] = {"vaultcli", "/dev/sdb1", "login", "--pin", "1234"};
    EXPECT_EQ(text(commandLineForPatterns(5, argv)), "/dev/sdb1 login --pin 1234");
    EXPECT_EQ(text(commandLineForPatterns(2, argv)), "/dev/sdb1");
    EXPECT_EQ(text(commandLineForPatterns(1, argv)), "");
    EXPECT_EQ(text(commandLineForPatterns(0, argv)), "");

    // Long enough to overflow the stack of a recursive regex match.
    const std::string longPath(200000, 'a');
    const std::string longNumber(200000, '7');
    const std::string limit(MAX_MATCHED_ARGUMENT, '7');
    const char* longLogin[] = {"vaultcli", longPath.c_str(), "login", "--pin", longPath.c_str()};
    const Secret line = commandLineForPatterns(5, longLogin);
    EXPECT_EQ(text(line), "x login --pin x");
    EXPECT_EQ(commandGroup(line.view()), 4);
    const char* longId[] = {"vaultcli", "d", "switchToSession", "--id", longNumber.c_str()};
    EXPECT_EQ(commandGroup(commandLineForPatterns(5, longId).view()), 0);
    const char* longestId[] = {"vaultcli", "d", "switchToSession", "--id", limit.c_str()};
    EXPECT_EQ(commandGroup(commandLineForPatterns(5, longestId).view()), 4);
}

TEST(CliArguments, ParsesDigitsWithinSigned32Bits)
{
    int32_t value = -1;
    EXPECT_TRUE(parseNonNegativeInt32("0", &value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(parseNonNegativeInt32("007", &value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(parseNonNegativeInt32("2147483647", &value));
    EXPECT_EQ(value, 2147483647);
    value = 5;
    EXPECT_FALSE(parseNonNegativeInt32("2147483648", &value));
    EXPECT_FALSE(parseNonNegativeInt32("4294967301", &value));
    EXPECT_FALSE(parseNonNegativeInt32("99999999999999999999999", &value));
    EXPECT_FALSE(parseNonNegativeInt32("", &value));
    EXPECT_FALSE(parseNonNegativeInt32("12a", &value));
    EXPECT_FALSE(parseNonNegativeInt32("-1", &value));
    EXPECT_EQ(value, 5);
}

TEST(CliExitStatus, FailureNeverExitsZero)
{
    EXPECT_EQ(exitStatusFor(0), 0);
    EXPECT_EQ(exitStatusFor(0x6F02), 2);
    EXPECT_EQ(exitStatusFor(2), 2);
    EXPECT_EQ(exitStatusFor(0x6E00), 110);
    EXPECT_EQ(exitStatusFor(0x6D00), 109);
    EXPECT_EQ(exitStatusFor(0x6200), 0x62);
    EXPECT_EQ(exitStatusFor(-24), 232);
    EXPECT_EQ(exitStatusFor(-1), 255);
    EXPECT_EQ(exitStatusFor(-256), 255);
    EXPECT_EQ(exitStatusFor(0x10000), 1);
}

TEST(CliFormatting, DataSizeUsesDecimalThresholdsAndBinaryUnits)
{
    EXPECT_EQ(getFormattedDataSize(0.0f), "0.0 Bytes");
    EXPECT_EQ(getFormattedDataSize(999.0f), "999.0 Bytes");
    EXPECT_EQ(getFormattedDataSize(1000.0f), "1.0 KB");
    EXPECT_EQ(getFormattedDataSize(999999.0f), "976.6 KB");
    EXPECT_EQ(getFormattedDataSize(1000000.0f), "1.0 MB");
    EXPECT_EQ(getFormattedDataSize(1000000000.0f), "0.9 GB");
    EXPECT_EQ(getFormattedDataSize(8589934592.0f), "8.0 GB");
}

TEST(CliFormatting, VersionAndState)
{
    EXPECT_EQ(versionBytesAsString(0x0001020Au), "1.2.10");
    EXPECT_EQ(versionBytesAsString(0u), "0.0.0");
    EXPECT_EQ(versionBytesAsString(0xFFFFFFFFu), "65535.255.255");
    EXPECT_STREQ(translateState(0), "Transparent");
    EXPECT_STREQ(translateState(1), "Unlocked");
    EXPECT_STREQ(translateState(2), "Locked");
    EXPECT_STREQ(translateState(3), "Undefined state");
    EXPECT_STREQ(translateState(0xFFFFFFFFu), "Undefined state");
}

// The system's error number belongs only to a failed system call, and only when set.
TEST(CliFormatting, ErrorLinesGoToStandardError)
{
    testing::internal::CaptureStderr();
    errno = 13;
    printError(-24);
    printError(-1);
    printError(-3);
    errno = 0;
    printError(-3);
    printError(0x6F02);
    printError(2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed, error: -24\nFailed, error: -1\n"
              "Failed, error: -3, system error: 13 (Permission denied)\nFailed, error: -3\n"
              "Failed, error: 0x6f02\nFailed, error: 0x2\n");
}

TEST(CliFormatting, HexPairsWithoutSeparator)
{
    const unsigned char bytes[] = {0x00, 0x0a, 0xff, 0x5c};
    testing::internal::CaptureStdout();
    displayCharToHex(bytes, sizeof bytes);
    displayCharToHex(bytes, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "000aff5c");
}

TEST(CliFormatting, UsageTextIsExact)
{
    std::ifstream file(VIX_CLI_TEST_DATA "/usage.txt", std::ios::binary);
    ASSERT_TRUE(file);
    std::stringstream expected;
    expected << file.rdbuf();
    std::string usage = expected.str();
    for (auto at = usage.find("PROG"); at != std::string::npos; at = usage.find("PROG"))
        usage.replace(at, 4, "./tool");

    testing::internal::CaptureStdout();
    printUsage("./tool");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), usage);
}

TEST(CliAdminPin, PadsShortPinsWithZerosToEight)
{
    EXPECT_EQ(text(calculateAdminPinFromPin(Secret(std::string_view("1234")))), "12340000");
    EXPECT_EQ(text(calculateAdminPinFromPin(Secret(std::string_view("1234567")))), "12345670");
    EXPECT_EQ(text(calculateAdminPinFromPin(Secret(std::string_view("12345678")))), "12345678");
    EXPECT_EQ(text(calculateAdminPinFromPin(Secret(std::string_view("123456789012345")))),
              "123456789012345");
}

TEST(CliSecret, NeverGrowsPastItsCapacity)
{
    Secret secret(3);
    EXPECT_TRUE(secret.append(std::string_view("ab")));
    EXPECT_FALSE(secret.append(std::string_view("cd")));
    EXPECT_TRUE(secret.append('c'));
    EXPECT_FALSE(secret.append('d'));
    EXPECT_EQ(text(secret), "abc");
    secret.removeLast();
    Secret moved = std::move(secret);
    EXPECT_EQ(text(moved), "ab");
    moved = Secret(std::string_view("xyz"));
    EXPECT_EQ(text(moved), "xyz");
}

class CliSecretInput : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(pipe(fds_), 0); }
    void TearDown() override
    {
        close(fds_[0]);
        if (fds_[1] >= 0)
            close(fds_[1]);
    }
    void feed(const std::string& input)
    {
        ASSERT_EQ(write(fds_[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        close(fds_[1]);
        fds_[1] = -1;
    }
    SecretReadResult read(Secret* secret) { return readSecretLine(fds_[0], "PIN: ", secret); }

    int fds_[2] = {-1, -1};
};

TEST_F(CliSecretInput, ReadsOneLineAtATime)
{
    feed("first\nsecond\r\nlast");
    Secret first, second, last, none;
    EXPECT_EQ(read(&first), SecretReadResult::Ok);
    EXPECT_EQ(read(&second), SecretReadResult::Ok);
    EXPECT_EQ(read(&last), SecretReadResult::Ok);
    EXPECT_EQ(read(&none), SecretReadResult::NoInput);
    EXPECT_EQ(text(first), "first");
    EXPECT_EQ(text(second), "second");
    EXPECT_EQ(text(last), "last");
}

TEST_F(CliSecretInput, RefusesEmptyAndOverlongLines)
{
    feed("\n" + std::string(MAX_SECRET_LINE, 'a') + "\n" + std::string(MAX_SECRET_LINE + 1, 'b'));
    Secret secret(std::string_view("kept"));
    EXPECT_EQ(read(&secret), SecretReadResult::EmptyLine);
    EXPECT_EQ(text(secret), "kept");
    EXPECT_EQ(read(&secret), SecretReadResult::Ok);
    EXPECT_EQ(secret.size(), MAX_SECRET_LINE);
    EXPECT_EQ(read(&secret), SecretReadResult::TooLong);
}

// The card would take the space as part of the PIN.
TEST_F(CliSecretInput, RefusesSurroundingWhiteSpace)
{
    feed("5678 \n 5678\n56 78\n5678\t\n");
    Secret secret;
    EXPECT_EQ(read(&secret), SecretReadResult::SurroundingSpace);
    EXPECT_EQ(read(&secret), SecretReadResult::SurroundingSpace);
    EXPECT_EQ(read(&secret), SecretReadResult::Ok);
    EXPECT_EQ(read(&secret), SecretReadResult::SurroundingSpace);
}

} // namespace
