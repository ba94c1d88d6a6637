// What a card presents through the host's mount of its partition.
#ifndef VIX_MOUNTED_CONTENT_H
#define VIX_MOUNTED_CONTENT_H

#include <cstdint>
#include <string>

// Folder where the block device `devicePath` is mounted, looked up by device number so
// that any node of the device finds it; empty when it is not mounted or not a block
// device. `mountTable` is a file in /proc/mounts form.
std::string mountFolderOf(const char* devicePath, const char* mountTable);

// Bytes of the regular files below `folder`, each rounded up to whole 512-byte sectors;
// links are not followed. False when a folder or a file's size cannot be read.
bool contentSectorBytes(const std::string& folder, std::uint64_t* bytes);

#endif
