#ifndef VAULTDESK_UTILS_H
#define VAULTDESK_UTILS_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>
#include <cstddef>
#include <istream>
#include <string>

// A block-device node found under the device folder.
struct StorageInfo
{
    std::string devicePath; // cleaned path, UTF-8
    std::string name;       // volume name reported by the system, may be empty
};

// Name patterns of the nodes that may be a card's: USB readers give sdX and sdXN, built-in
// slots mmcblkN and mmcblkNpM.
const QStringList cardNodeFilters = {QStringLiteral("sd*"), QStringLiteral("mmcblk*")};
// False for the nodes a matching pattern takes in that never hold a card: an eMMC's boot
// and replay-protected areas (mmcblkNbootM, mmcblkNrpmb).
bool mayBeCardNode(const QString& name);

// Every node of deviceDirectory matching one of the filters and mayBeCardNode, mounted or
// not, in directory order.
QList<StorageInfo> getMacAndLinuxMountedDevices(const QStringList& filters,
                                                const QString& deviceDirectory = "/dev");

// Mount point of the device or of one of its partitions, empty when not mounted. A node of
// another name for a mounted device (same device number) finds its mount point too.
QString getMountpoint(const QString& devicePath);
// Lines in /proc/mounts form; "/dev/sdb" matches "/dev/sdb1" but not "/dev/sdb10" for
// "/dev/sdb1" nor "/dev/sdba1" for "/dev/sdb". Octal escapes are decoded.
QString mountPointForDevice_linux(const char* device, std::istream& mounts);
// Nothing to do on Linux; returns 0.
int umountDevice(const QString& path);

// Own pair for direct I/O: the card library exports C symbols of the same names.
namespace utils {
void* allocAlignedBuffer(std::size_t size); // 512-byte aligned, null with errno set
int freeAlignedBuffer(void* buffer);        // 0; -1 for null
} // namespace utils

// Sets access and modification time of a file or folder.
bool fileChangeModificationDate(const QString& path, const QDateTime& time);
// Makes the folder's entries durable (fsync on the folder).
bool syncDirectory(const QString& path);

// Thin wrapper so that the update check can run without a network.
class NetworkReply
{
public:
    explicit NetworkReply(QNetworkReply* reply);
    virtual ~NetworkReply();

    virtual QNetworkReply::NetworkError error() const;
    virtual QString errorString() const;
    virtual QByteArray readAll();

private:
    QNetworkReply* reply; // not owned
};

// Version code of this build of the desktop application.
constexpr int APP_VERSION_CODE = 16;

// HTTPS GET of the version document with peer verification.
QNetworkRequest appUpdateRequest();
// Download URL of a newer release, or empty (also on any failure, reported on stderr).
QString isAppUpdateAvailable(NetworkReply& reply, int currentVersionCode);

#endif
