#include "CardRecognition.h"

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CardIdentification.h"
#include "CardManagement.h"
#include "DiskUtilities.h"
#include "FileBasedSecurityInterface.h"
#include "os-abstraction.h"

namespace {

enum class Record { Found, Absent, Unreadable };

struct AlignedBlockDeleter
{
    void operator()(unsigned char* block) const { freeAlignedBuffer(block); }
};

// The card's firmware may hand out a stale sector on the first read; the second is
// current.
bool readSector(int fd, unsigned char* block, long long offset)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (readAt(fd, block, CARD_ID_SECTOR_SIZE, static_cast<uint64_t>(offset)) != 0)
            return false;
    }
    return true;
}

// Non-blocking: should the node have become a FIFO since it was examined, the open
// must not wait for a writer.
Record recordOn(const std::string& path, uint32_t* generation)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Record::Unreadable;
    std::unique_ptr<unsigned char, AlignedBlockDeleter> block(
        static_cast<unsigned char*>(allocAlignedBuffer(CARD_ID_SECTOR_SIZE)));
    Record record = block ? Record::Absent : Record::Unreadable;
    for (int n = 0; record == Record::Absent && cardIdentificationSectorOffset(n) >= 0; ++n) {
        // A device too small to hold the sector is no card either.
        if (!readSector(fd, block.get(), cardIdentificationSectorOffset(n)))
            continue;
        tresora_ac_identification found{};
        tresora_ac_decodeIdentification(block.get(), CARD_ID_SECTOR_SIZE, &found);
        if (cardIdentificationGeneration(block.get(), CARD_ID_SECTOR_SIZE) != CARD_ID_NONE) {
            record = Record::Found;
            *generation = found.generation;
        }
    }
    ::close(fd);
    return record;
}

} // namespace

int findIdentificationRecord(const char* devicePath, uint32_t* generation)
{
    struct stat node
    {
    };
    if (::stat(devicePath, &node) != 0)
        return FSI_RET_OPEN_ERR;
    if (!S_ISBLK(node.st_mode) && !S_ISREG(node.st_mode))
        return TRESORA_AC_ERR_NOT_A_CARD;
    const Record onDevice = recordOn(devicePath, generation);
    if (onDevice == Record::Found)
        return 0;
    if (S_ISREG(node.st_mode))
        return onDevice == Record::Unreadable ? FSI_RET_OPEN_ERR : TRESORA_AC_ERR_NOT_A_CARD;
    const std::string disk = wholeDiskPath(devicePath);
    char* resolved = realpath(devicePath, nullptr);
    const bool sameNode = resolved != nullptr && disk == resolved;
    free(resolved);
    if (!sameNode && recordOn(disk, generation) == Record::Found)
        return 0;
    return onDevice == Record::Unreadable ? FSI_RET_OPEN_ERR : TRESORA_AC_ERR_NOT_A_CARD;
}
