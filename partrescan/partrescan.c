/* partrescan <whole-disk device>: asks the kernel to re-read the partition table.
 * Runs with raised capabilities on a path any user may give, so it touches
 * nothing but block devices and does nothing else. */
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

static int reportOpenFailure(const char* device, int error)
{
    fprintf(stderr, "Failed to open: %s, errno: %d\n", device, error);
    fprintf(stderr, "Check the device permissions.\n");
    return 1;
}

static int reportRereadFailure(int error)
{
    fprintf(stderr, "Error rereading partitions, errno: %d\n", error);
    fprintf(stderr, "Check that the binary has CAP_SYS_ADMIN and CAP_DAC_OVERRIDE capabilities.\n");
    return 1;
}

int main(int argc, char* argv[])
{
    if (argc != 2) {
        fprintf(stderr, "Usage: %s /dev/sdX\n", argc > 0 ? argv[0] : "partrescan");
        return 1;
    }
    const char* device = argv[1];

    /* Opening some character devices has effects of its own: refuse them unopened. */
    struct stat before;
    if (stat(device, &before) != 0)
        return reportOpenFailure(device, errno);
    if (!S_ISBLK(before.st_mode))
        return reportRereadFailure(ENOTTY);

    int fd = open(device, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return reportOpenFailure(device, errno);
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !S_ISBLK(opened.st_mode) || opened.st_rdev != before.st_rdev) {
        close(fd);
        return reportRereadFailure(ENOTTY);
    }

    int result = ioctl(fd, BLKRRPART, 0);
    int error = errno;
    close(fd);
    if (result != 0)
        return reportRereadFailure(error);
    return 0;
}
