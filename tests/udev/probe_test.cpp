// vix-card-probe decides which block devices the seated user may open: only a card's.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "HostTools.h"

namespace {

constexpr std::size_t kSector = 512;

struct Record
{
    std::uint64_t sector;
    const char* text;
};

struct Image
{
    std::uint64_t sectors = 64;
    std::uint32_t partitionStart = 0; // MBR entry when not 0
    unsigned char partitionType = 0x0c;
    std::vector<Record> records;
};

void writeImage(const std::string& path, const Image& image)
{
    std::vector<char> bytes(image.sectors * kSector, 0);
    if (image.partitionStart != 0) {
        char* entry = bytes.data() + 446;
        entry[4] = char(image.partitionType);
        for (int i = 0; i < 4; ++i)
            entry[8 + i] = char(image.partitionStart >> (8 * i));
        bytes[510] = char(0x55);
        bytes[511] = char(0xAA);
    }
    for (const Record& record : image.records) {
        const std::size_t offset = record.sector * kSector;
        if (offset + kSector <= bytes.size())
            std::memcpy(bytes.data() + offset, record.text, std::strlen(record.text) + 1);
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct Case
{
    const char* name;
    Image image;
    bool card;
};

const std::vector<Case> kCases = {
    {"record at sector 26", {64, 0, 0, {{26, "Kendrova-SFC-SD-ccv2"}}}, true},
    {"older generation at sector 13", {64, 0, 0, {{13, "Kendrova-SFC-SD-ccv1"}}}, true},
    {"whole disk of a card, record in its first partition",
     {128, 40, 0x0c, {{66, "Kendrova-SFC-SD-ccv2"}}},
     true},
    {"record in a first partition that is not FAT",
     {128, 40, 0x82, {{66, "Kendrova-SFC-SD-ccv2"}}},
     false},
    {"empty disk", {64, 0, 0, {}}, false},
    {"partitioned disk without a record", {128, 40, 0x0c, {}}, false},
    {"record text with a different ending", {64, 0, 0, {{26, "Kendrova-SFC-SD-ccv2x"}}}, false},
    {"record text at another sector", {64, 0, 0, {{27, "Kendrova-SFC-SD-ccv2"}}}, false},
    {"partition entry beyond the disk's end", {64, 4000, 0x0c, {}}, false},
    {"disk too small to hold sector 26",
     {20, 0, 0, {{13, "Kendrova-SFC-SD-ccv1"}, {26, "Kendrova-SFC-SD-ccv2"}}},
     true},
    {"disk smaller than sector 13", {10, 0, 0, {}}, false},
};

TEST(CardProbe, TagsCardsAndNothingElse)
{
    vixtest::TempFolder folder;
    for (const Case& c : kCases) {
        const std::string path = folder.path() + "/disk.img";
        writeImage(path, c.image);
        const auto run = vixtest::runProgram({CARD_PROBE_PROGRAM, path});
        EXPECT_EQ(run.exitStatus, 0) << c.name;
        EXPECT_EQ(run.out, c.card ? "VIX_CARD=1\n" : "") << c.name;
    }
}

TEST(CardProbe, BuiltInSlotNodesAreProbedButNotTheEmmcAreas)
{
    const struct
    {
        const char* node;
        bool card;
    } nodes[] = {{"mmcblk0", true},       {"mmcblk0p1", true},     {"mmcblk12p3", true},
                 {"mmcblk0boot0", false}, {"mmcblk1boot1", false}, {"mmcblk0rpmb", false},
                 {"mmcblkboot0", true},   {"mmcblk0bootx", true}};
    vixtest::TempFolder folder;
    for (const auto& node : nodes) {
        const std::string path = folder.path() + "/" + node.node;
        writeImage(path, {64, 0, 0, {{26, "Kendrova-SFC-SD-ccv2"}}});
        const auto run = vixtest::runProgram({CARD_PROBE_PROGRAM, path});
        EXPECT_EQ(run.out, node.card ? "VIX_CARD=1\n" : "") << node.node;
    }
}

TEST(CardProbe, UnreadableOrMissingDeviceIsNoCard)
{
    vixtest::TempFolder folder;
    for (const std::string& path : {folder.path() + "/missing", folder.path()}) {
        const auto run = vixtest::runProgram({CARD_PROBE_PROGRAM, path});
        EXPECT_EQ(run.exitStatus, 0) << path;
        EXPECT_EQ(run.out, "") << path;
    }
    const auto usage = vixtest::runProgram({CARD_PROBE_PROGRAM});
    EXPECT_EQ(usage.exitStatus, 2);
}

} // namespace
