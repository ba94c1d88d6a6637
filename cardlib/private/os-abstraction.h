/* Platform file and timing primitives for the card transport.
 * Plain C linkage: 0 means success, any other value failure. */
#ifndef VIX_OS_ABSTRACTION_H
#define VIX_OS_ABSTRACTION_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Alignment that direct I/O needs for buffers, offsets and sizes. */
#define OS_IO_ALIGNMENT 512

/* Returns a buffer aligned to 512 bytes, or null with errno set. */
void* allocAlignedBuffer(size_t size);
/* 0; -1 for a null pointer. */
int freeAlignedBuffer(void* buffer);

/* Opens (creating when missing) and at once unlinks a communication file.
 * 0; -1 open failed (*fd = -1); -2 the file could not be unlinked. */
int openFile(const char* path, int* fd, int directIo);
/* 0; 1 when closing failed. */
int closeFile(int fd);
/* One read()/write() call; a short transfer is not an error, *count tells. 0; 1 on failure. */
int readFile(int fd, void* buffer, size_t size, size_t* count);
int writeFile(int fd, const void* buffer, size_t size, size_t* count);
/* Absolute positioning. 0; 1 on failure. */
int seekFile(int fd, uint64_t offset);
/* Reads or writes exactly `size` bytes at `offset`, leaving the descriptor's position.
 * 0; 1 on failure or a short transfer. */
int readAt(int fd, void* buffer, size_t size, uint64_t offset);
int writeAt(int fd, const void* buffer, size_t size, uint64_t offset);

/* Opens a block device read-write for direct I/O and reads its first `size` bytes.
 * 0; -1 open failed (*fd = -1); -2 reading failed or the device ended early
 * (descriptor closed). */
int openVolume(const char* path, int* fd, void* buffer, size_t size);
/* Writes `buffer` back to the start of the device when given (a write that stops
 * making progress fails), then closes. 0; -1 write-back failed; 1 close failed. */
int closeVolume(int fd, const void* buffer, size_t size);

void msleep(int64_t milliseconds);
/* Milliseconds of the monotonic clock: for intervals only, not calendar time. */
uint64_t getWallTime(void);
uint64_t getTimeDifference(uint64_t start, uint64_t end);

#ifdef __cplusplus
}
#endif

#endif
