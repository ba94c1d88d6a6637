#include "MountedContent.h"

#include <filesystem>
#include <mntent.h>
#include <sys/stat.h>

namespace {

constexpr std::uint64_t kSectorSize = 512;

bool blockDeviceNumber(const char* path, dev_t* number)
{
    struct stat info
    {
    };
    if (::stat(path, &info) != 0 || !S_ISBLK(info.st_mode))
        return false;
    *number = info.st_rdev;
    return true;
}

} // namespace

std::string mountFolderOf(const char* devicePath, const char* mountTable)
{
    dev_t wanted = 0;
    if (devicePath == nullptr || !blockDeviceNumber(devicePath, &wanted))
        return {};
    FILE* mounts = ::setmntent(mountTable, "re");
    if (mounts == nullptr)
        return {};
    std::string folder;
    mntent entry{};
    char strings[4096];
    // getmntent_r decodes the kernel's octal escapes (a blank is \040) in every field.
    while (folder.empty() && ::getmntent_r(mounts, &entry, strings, sizeof strings) != nullptr) {
        dev_t number = 0;
        if (entry.mnt_fsname[0] == '/' && blockDeviceNumber(entry.mnt_fsname, &number) &&
            number == wanted)
            folder = entry.mnt_dir;
    }
    ::endmntent(mounts);
    return folder;
}

bool contentSectorBytes(const std::string& folder, std::uint64_t* bytes)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator entry(folder, error);
    std::uint64_t total = 0;
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        const fs::file_status status = entry->symlink_status(error);
        if (!error && fs::is_regular_file(status)) {
            const std::uintmax_t size = entry->file_size(error);
            total += (size + kSectorSize - 1) / kSectorSize * kSectorSize;
        }
    }
    if (error)
        return false;
    *bytes = total;
    return true;
}
