// What the card presents is measured from the host's mount of its partition.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "MountedContent.h"

namespace {

namespace fs = std::filesystem;

struct Folder
{
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "vix-content-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    void file(const std::string& name, std::size_t bytes) const
    {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name, std::ios::binary) << std::string(bytes, 'x');
    }
    fs::path path;
};

TEST(MountedContent, FilesCountInWholeSectorsAndLinksNotAtAll)
{
    const struct
    {
        std::size_t bytes;
        std::uint64_t counted;
    } files[] = {{0, 0}, {1, 512}, {512, 512}, {513, 1024}, {2 << 20, 2 << 20}};
    Folder content;
    std::uint64_t expected = 0;
    for (const auto& file : files) {
        content.file("DCIM/CLIP" + std::to_string(file.bytes) + ".MP4", file.bytes);
        expected += file.counted;
    }
    fs::create_symlink(content.path / "DCIM", content.path / "again");
    std::uint64_t bytes = 0;
    ASSERT_TRUE(contentSectorBytes(content.path.string(), &bytes));
    EXPECT_EQ(bytes, expected);

    EXPECT_FALSE(contentSectorBytes((content.path / "missing").string(), &bytes));
}

TEST(MountedContent, MountFolderIsFoundByDeviceNumber)
{
    struct stat loop
    {
    };
    if (::stat("/dev/loop0", &loop) != 0 || !S_ISBLK(loop.st_mode))
        GTEST_SKIP() << "no block device /dev/loop0 to name in a mount table";
    Folder work;
    const fs::path table = work.path / "mounts";
    std::ofstream(table) << "proc /proc proc rw 0 0\n"
                         << "/dev/loop0 /media/user/MY\\040CARD vfat rw 0 0\n";
    fs::create_symlink("/dev/loop0", work.path / "mmcblk0p1");
    work.file("image", 512);

    const struct
    {
        fs::path device;
        const char* folder;
    } cases[] = {{"/dev/loop0", "/media/user/MY CARD"},
                 {work.path / "mmcblk0p1", "/media/user/MY CARD"},
                 {work.path / "image", ""},
                 {work.path / "missing", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(mountFolderOf(c.device.c_str(), table.c_str()), c.folder) << c.device;
}

} // namespace
