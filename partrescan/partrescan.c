/* partrescan <whole-disk device>: asks the kernel to re-read the partition table.
 * Runs with raised capabilities on a path any user may give, so it touches
 * nothing but block devices the calling user could read, and does nothing else. */
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

    /* The path is looked at once: a link swapped after a check cannot redirect the
     * open, and opening some character devices has effects of its own, so only a
     * block device is ever opened for real. A link is not followed at all. */
    int pathFd = open(device, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (pathFd < 0)
        return reportOpenFailure(device, errno);
    struct stat info;
    if (fstat(pathFd, &info) != 0 || !S_ISBLK(info.st_mode)) {
        close(pathFd);
        return reportRereadFailure(ENOTTY);
    }
    char reopenPath[64];
    snprintf(reopenPath, sizeof reopenPath, "/proc/self/fd/%d", pathFd);
    /* The capabilities would open any disk: act only on one the caller could read. */
    if (access(reopenPath, R_OK) != 0) {
        int accessError = errno;
        close(pathFd);
        return reportOpenFailure(device, accessError);
    }
    int fd = open(reopenPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    int openError = errno;
    close(pathFd);
    if (fd < 0)
        return reportOpenFailure(device, openError);

    int result = ioctl(fd, BLKRRPART, 0);
    int error = errno;
    close(fd);
    if (result != 0)
        return reportRereadFailure(error);
    return 0;
}
