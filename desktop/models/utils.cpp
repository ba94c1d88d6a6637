#include "utils.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QUrl>
#ifndef QT_NO_SSL
#include <QSslConfiguration>
#endif
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef VIX_UPDATE_HOST
#error "VIX_UPDATE_HOST must name the update server (CMake cache variable)"
#endif

namespace {

const char* const versionDocumentPath = "/files/public/vix/vix_version.json";

std::vector<std::string> splitAtBlanks(const std::string& line)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank - start));
        if (blank == std::string::npos)
            return fields;
        start = blank + 1;
    }
}

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The kernel writes blank, tab, newline and backslash in mount table fields as \ooo.
std::string decodeOctalEscapes(const std::string& field)
{
    std::string decoded;
    decoded.reserve(field.size());
    for (std::string::size_type i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) &&
            isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            decoded += char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                            (field[i + 3] - '0'));
            i += 3;
        } else {
            decoded += field[i];
        }
    }
    return decoded;
}

bool allDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "/dev/sdb" owns "/dev/sdb1"; "/dev/mmcblk0" owns "/dev/mmcblk0p1".
bool isDeviceOrPartition(const std::string& name, const std::string& device)
{
    if (device.empty() || name.compare(0, device.size(), device) != 0)
        return false;
    const std::string suffix = name.substr(device.size());
    if (suffix.empty())
        return true;
    const bool endsInDigit = device.back() >= '0' && device.back() <= '9';
    if (endsInDigit)
        return suffix[0] == 'p' && allDigits(suffix.substr(1));
    return allDigits(suffix);
}

bool blockDeviceNumber(const std::string& path, dev_t& number)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode))
        return false;
    number = info.st_rdev;
    return true;
}

// The mount point of the block device numbered `number`, whatever its node is called.
QString mountPointByNumber(dev_t number, std::istream& mounts)
{
    std::string line;
    while (std::getline(mounts, line)) {
        const std::vector<std::string> fields = splitAtBlanks(line);
        dev_t mounted = 0;
        if (fields.size() >= 2 && !fields[0].empty() && fields[0][0] == '/' &&
            blockDeviceNumber(decodeOctalEscapes(fields[0]), mounted) && mounted == number)
            return QString::fromStdString(decodeOctalEscapes(fields[1]));
    }
    return {};
}

std::string mountTableText()
{
    std::ifstream mounts("/proc/mounts");
    return std::string(std::istreambuf_iterator<char>(mounts), std::istreambuf_iterator<char>());
}

// By the node's name, else by its device number.
QString mountPointIn(const std::string& mountTable, const QString& devicePath)
{
    const std::string device = devicePath.toUtf8().toStdString();
    std::istringstream byName(mountTable);
    QString mountPoint = mountPointForDevice_linux(device.c_str(), byName);
    dev_t number = 0;
    if (!mountPoint.isEmpty() || !blockDeviceNumber(device, number))
        return mountPoint;
    std::istringstream byNumber(mountTable);
    return mountPointByNumber(number, byNumber);
}

} // namespace

bool mayBeCardNode(const QString& name)
{
    static const QRegularExpression mmcArea(QStringLiteral("^mmcblk\\d+(boot\\d+|rpmb)$"));
    return !mmcArea.match(name).hasMatch();
}

QList<StorageInfo> getMacAndLinuxMountedDevices(const QStringList& filters,
                                                const QString& deviceDirectory)
{
    const QDir directory(deviceDirectory);
    QStringList names = directory.entryList(
        filters, QDir::Dirs | QDir::Files | QDir::Drives | QDir::System, QDir::Unsorted);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& name) { return !mayBeCardNode(name); }),
                names.end());
    // Read once per scan: the kernel writes the whole table at every read.
    const std::string mounts = mountTableText();
    QList<StorageInfo> devices;
    for (const QString& name : names) {
        const QString devicePath = QDir::cleanPath(deviceDirectory + QDir::separator() + name);
        const QString mountPoint = mountPointIn(mounts, devicePath);
        // An unmounted node has no volume of its own; the folder holding it is not one.
        const QString volume = mountPoint.isEmpty() ? QString() : QStorageInfo(mountPoint).name();
        devices.append({devicePath.toStdString(), volume.toStdString()});
    }
    return devices;
}

QString getMountpoint(const QString& devicePath)
{
    return mountPointIn(mountTableText(), devicePath);
}

QString mountPointForDevice_linux(const char* device, std::istream& mounts)
{
    std::string line;
    while (std::getline(mounts, line)) {
        const std::vector<std::string> fields = splitAtBlanks(line);
        if (fields.size() < 2)
            continue;
        if (isDeviceOrPartition(decodeOctalEscapes(fields[0]), device))
            return QString::fromStdString(decodeOctalEscapes(fields[1]));
    }
    return {};
}

int umountDevice(const QString&)
{
    return 0;
}

namespace utils {

void* allocAlignedBuffer(std::size_t size)
{
    void* buffer = nullptr;
    const int error = posix_memalign(&buffer, 512, size);
    if (error != 0) {
        errno = error;
        return nullptr;
    }
    return buffer;
}

int freeAlignedBuffer(void* buffer)
{
    if (!buffer)
        return -1;
    std::free(buffer);
    return 0;
}

} // namespace utils

bool fileChangeModificationDate(const QString& path, const QDateTime& time)
{
    if (!time.isValid())
        return false;
    const qint64 ms = time.toMSecsSinceEpoch();
    timespec stamp{};
    stamp.tv_sec = time_t(ms / 1000);
    stamp.tv_nsec = long(ms % 1000) * 1000000L;
    if (stamp.tv_nsec < 0) {
        stamp.tv_sec -= 1;
        stamp.tv_nsec += 1000000000L;
    }
    const timespec times[2] = {stamp, stamp};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

bool syncDirectory(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return (::close(fd) == 0) && synced;
}

NetworkReply::NetworkReply(QNetworkReply* reply) : reply(reply) {}

NetworkReply::~NetworkReply() = default;

QNetworkReply::NetworkError NetworkReply::error() const
{
    return reply->error();
}

QString NetworkReply::errorString() const
{
    return reply->errorString();
}

QByteArray NetworkReply::readAll()
{
    return reply->readAll();
}

QNetworkRequest appUpdateRequest()
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QStringLiteral(VIX_UPDATE_HOST));
    url.setPath(QString::fromLatin1(versionDocumentPath));
    QNetworkRequest request(url);
#ifndef QT_NO_SSL
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(ssl);
#endif
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

QString isAppUpdateAvailable(NetworkReply& reply, int currentVersionCode)
{
    if (reply.error() != QNetworkReply::NoError) {
        std::fprintf(stderr, "Failed to check for new version: %s\n",
                     reply.errorString().toUtf8().constData());
        return {};
    }
    const QByteArray body = reply.readAll();
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) {
        std::fprintf(stderr, "Failed to parse json: %s\n", body.constData());
        return {};
    }
    const QJsonObject version = document.object();
    const int versionCode = version.value(QStringLiteral("versionCode")).toInt(0);
    if (versionCode > currentVersionCode)
        return version.value(QStringLiteral("url")).toString();
    return {};
}
