#include "MountedContent.h"

#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace {

constexpr std::uint64_t kSectorSize = 512;

bool blockDeviceNumber(const std::string& path, dev_t* number)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode))
        return false;
    *number = info.st_rdev;
    return true;
}

// The kernel writes blank, tab, newline and backslash in mount table fields as \ooo.
std::string decodeField(const std::string& field)
{
    std::string decoded;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool escape = field[i] == '\\' && i + 3 < field.size() &&
                            field.find_first_not_of("01234567", i + 1) >= i + 4;
        if (escape) {
            decoded += char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                            (field[i + 3] - '0'));
            i += 3;
        } else {
            decoded += field[i];
        }
    }
    return decoded;
}

} // namespace

std::string mountFolderOf(const char* devicePath, std::istream& mounts)
{
    dev_t wanted = 0;
    if (devicePath == nullptr || !blockDeviceNumber(devicePath, &wanted))
        return {};
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source;
        std::string folder;
        if (!(fields >> source >> folder) || source.empty() || source[0] != '/')
            continue;
        dev_t number = 0;
        if (blockDeviceNumber(decodeField(source), &number) && number == wanted)
            return decodeField(folder);
    }
    return {};
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
