// What both download engine tests use: file helpers and a card made of folders.
#ifndef VIX_DOWNLOAD_TEST_SUPPORT_H
#define VIX_DOWNLOAD_TEST_SUPPORT_H

#include "checksum_check.h"
#include "devicemodel.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QMap>
#include <QStringList>
#include <functional>
#include <vector>

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QByteArray pattern(int size, char seed)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(seed + i % 251);
    return data;
}

// Every file below the folder, hidden ones included, relative and sorted.
inline QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Empty when `sha256sum -c` passes in the session folder without a word on stderr and the
// checksum list names every file there; otherwise what is wrong.
inline QString manifestProblem(const QString& folder)
{
    if (const QString problem = checksumListProblem(folder); !problem.isEmpty())
        return problem;
    QStringList listed;
    for (const QByteArray& line : readFile(folder + "/" + DownloadModel::manifestName).split('\n'))
        if (!line.isEmpty())
            listed << QFile::decodeName(line.mid(66));
    QStringList present = filesBelow(folder);
    present.removeAll(DownloadModel::manifestName);
    listed.sort();
    return listed == present ? QString()
                             : folder + QStringLiteral(": lists ") + listed.join(',') +
                                   QStringLiteral(" but holds ") + present.join(',');
}

// A card whose sessions are folders; switching makes one the mount point.
class FolderCard : public FakeDeviceModel
{
public:
    FolderCard() : FakeDeviceModel("/dev/null") {}
    DeviceInfo deviceInfo() override { return DeviceInfo("c0ffee", 0x123, 2, 10, 15, 4, 0); }
    std::vector<Session> getSessions() override { return sessions; }
    void switchToSession(int id) override
    {
        current = id;
        switches << id;
        if (onSwitch)
            onSwitch(id);
    }
    QString getDeviceMountpoint() override { return folders.value(current); }

    std::vector<Session> sessions;
    QMap<int, QString> folders;
    QList<int> switches;
    std::function<void(int)> onSwitch;

private:
    int current = -1;
};

#endif
