// vix-card-probe DEVICE: for udev's IMPORT{program}. Prints VIX_CARD=1 when the block
// device, or the first partition its partition table names, carries a card's
// identification record; prints nothing for any other device or one that cannot be read.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "CardManagement.h"

namespace {

constexpr unsigned kSectorSize = TRESORA_AC_ID_SECTOR_SIZE;

class Device
{
public:
    explicit Device(const char* path)
    {
        // The record is written by the card's firmware: read past the page cache when
        // the node allows it.
        fd_ = ::open(path, O_RDONLY | O_DIRECT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0 && errno == EINVAL)
            fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd_ >= 0 && posix_memalign(&buffer_, kSectorSize, kSectorSize) != 0)
            buffer_ = nullptr;
    }
    ~Device()
    {
        std::free(buffer_);
        if (fd_ >= 0)
            ::close(fd_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The sector's bytes, or nullptr when it cannot be read whole.
    const unsigned char* read(std::uint64_t sector)
    {
        if (fd_ < 0 || buffer_ == nullptr || sector > UINT64_MAX / kSectorSize / 2)
            return nullptr;
        const ssize_t count = ::pread(fd_, buffer_, kSectorSize, off_t(sector * kSectorSize));
        return count == ssize_t(kSectorSize) ? static_cast<const unsigned char*>(buffer_) : nullptr;
    }

private:
    int fd_ = -1;
    void* buffer_ = nullptr;
};

bool hasRecordFrom(Device& device, std::uint64_t firstSector)
{
    for (int n = 0; tresora_ac_identificationSector(n) >= 0; ++n) {
        const unsigned char* data =
            device.read(firstSector + std::uint64_t(tresora_ac_identificationSector(n)));
        tresora_ac_identification record{};
        if (data != nullptr &&
            tresora_ac_decodeIdentification(data, kSectorSize, &record) == TRESORA_AC_OK &&
            (record.generation == TRESORA_AC_GENERATION_CCV1 ||
             record.generation == TRESORA_AC_GENERATION_CCV2))
            return true;
    }
    return false;
}

std::uint32_t littleEndian32(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

// A card presents a FAT32 or exFAT partition. Other types are never read through the
// whole disk: a swap partition, for one, holds whatever memory any user swapped out.
bool isFatOrExfatType(unsigned char type)
{
    constexpr unsigned char kTypes[] = {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E};
    for (unsigned char known : kTypes) {
        if (type == known)
            return true;
    }
    return false;
}

// First sector of the first used entry of an MBR partition table when that partition is
// FAT or exFAT; 0 otherwise.
std::uint64_t firstPartitionStart(Device& device)
{
    const unsigned char* mbr = device.read(0);
    if (mbr == nullptr || mbr[510] != 0x55 || mbr[511] != 0xAA)
        return 0;
    constexpr std::size_t kEntries = 446;
    constexpr std::size_t kEntrySize = 16;
    for (std::size_t entry = 0; entry < 4; ++entry) {
        const unsigned char* fields = mbr + kEntries + entry * kEntrySize;
        const unsigned char type = fields[4];
        const std::uint32_t start = littleEndian32(fields + 8);
        if (type != 0 && start != 0)
            return isFatOrExfatType(type) ? start : 0;
    }
    return 0;
}

bool allDigits(const char* text)
{
    const std::size_t length = std::strlen(text);
    return length > 0 && std::strspn(text, "0123456789") == length;
}

// An eMMC's boot areas (mmcblkNbootM) and replay-protected area (mmcblkNrpmb) never hold
// a card; they are not even read.
bool isMmcHardwareArea(const char* path)
{
    const char* name = std::strrchr(path, '/');
    name = name != nullptr ? name + 1 : path;
    constexpr char kDisk[] = "mmcblk";
    if (std::strncmp(name, kDisk, sizeof kDisk - 1) != 0)
        return false;
    const char* number = name + sizeof kDisk - 1;
    const std::size_t digits = std::strspn(number, "0123456789");
    const char* area = number + digits;
    if (digits == 0)
        return false;
    if (std::strcmp(area, "rpmb") == 0)
        return true;
    return std::strncmp(area, "boot", 4) == 0 && allDigits(area + 4);
}

bool isCard(const char* path)
{
    if (isMmcHardwareArea(path))
        return false;
    Device device(path);
    if (hasRecordFrom(device, 0))
        return true;
    const std::uint64_t partitionStart = firstPartitionStart(device);
    return partitionStart != 0 && hasRecordFrom(device, partitionStart);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s DEVICE\n", argc > 0 ? argv[0] : "vix-card-probe");
        return 2;
    }
    if (isCard(argv[1]))
        std::puts("VIX_CARD=1");
    return 0;
}
