#include "CardManagement.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ResultNames, EveryTransportCodeHasItsOwnApiName)
{
    std::set<std::string> names;
    for (int code = -1; code >= -17; --code) {
        const char* name = tresora_ac_errorName(code);
        ASSERT_NE(name, nullptr) << code;
        EXPECT_EQ(std::string(name).rfind("TRESORA_AC_ERR_", 0), 0u) << name;
        EXPECT_TRUE(names.insert(name).second) << name << " names two codes";
    }
    EXPECT_STREQ(tresora_ac_errorName(TRESORA_AC_ERR_OPEN), "TRESORA_AC_ERR_OPEN");
    EXPECT_STREQ(tresora_ac_errorName(TRESORA_AC_SW_WRONG_PIN), "TRESORA_AC_SW_WRONG_PIN");
}

TEST(ResultNames, CodesTheHeaderDoesNotNameHaveNone)
{
    for (int code : {-18, -25, -35, 1, 0x6A80})
        EXPECT_EQ(tresora_ac_errorName(code), nullptr) << code;
}

TEST(ResultNames, FailuresOfTheApiAreNamed)
{
    uint32_t value = 0;
    uint64_t bytes = 0;
    const int results[] = {
        tresora_ac_getFirmwareVersion(nullptr, &value),
        tresora_ac_getFirmwareVersion("/nonexistent/card", &value),
        tresora_ac_checkIdentification("/nonexistent/card"),
        tresora_ac_getCurrentSessionSize("/nonexistent/card", &bytes),
    };
    for (int result : results)
        EXPECT_NE(tresora_ac_errorName(result), nullptr) << result;
}

} // namespace
