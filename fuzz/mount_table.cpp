// The mount-table lookup of the desktop utilities.
//
// Input: the first line is the device path looked up, the rest is the mount table.
//
// Checked beyond memory safety, against a plain reading of the rules: the first
// line whose device is the device itself or one of its partitions ("/dev/sdb" owns
// "/dev/sdb1", "/dev/mmcblk0" owns "/dev/mmcblk0p1", "/dev/sdb1" does not own
// "/dev/sdb10") gives the mount point, with the table's octal escapes decoded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "utils.h"

namespace {

std::string decoded(const std::string& field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        const bool escape = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
                            field[i + 1] <= '7' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                            field[i + 3] >= '0' && field[i + 3] <= '7';
        if (!escape) {
            text += field[i];
            continue;
        }
        text += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                  (field[i + 3] - '0'));
        i += 3;
    }
    return text;
}

bool digitsOnly(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool owns(const std::string& device, const std::string& name)
{
    if (device.empty() || name.compare(0, device.size(), device) != 0)
        return false;
    const std::string suffix = name.substr(device.size());
    if (suffix.empty())
        return true;
    if (device.back() >= '0' && device.back() <= '9')
        return suffix[0] == 'p' && digitsOnly(suffix.substr(1));
    return digitsOnly(suffix);
}

// Fields split at single blanks, as the kernel writes them.
std::vector<std::string> fieldsOf(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank == std::string::npos ? blank : blank - start));
        if (blank == std::string::npos)
            return fields;
        start = blank + 1;
    }
}

std::string expectedMountPoint(const std::string& device, const std::string& table)
{
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> fields = fieldsOf(line);
        if (fields.size() >= 2 && owns(device, decoded(fields[0])))
            return decoded(fields[1]);
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t end = input.find('\n');
    if (end == std::string::npos)
        return 0;
    // The lookup takes a C string: a device path holds no NUL.
    const std::string device = input.substr(0, end);
    if (device.find('\0') != std::string::npos)
        return 0;
    const std::string table = input.substr(end + 1);

    std::istringstream mounts(table);
    const QString found = mountPointForDevice_linux(device.c_str(), mounts);
    const std::string expected = expectedMountPoint(device, table);
    CHECK(found == QString::fromStdString(expected));
    return 0;
}
