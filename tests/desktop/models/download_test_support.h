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

// The files the record names as kept although they differ from the card's.
inline QStringList differingInRecord(const QString& folder)
{
    QStringList names;
    const QString prefix = QStringLiteral("Differs from card: ");
    for (const QString& line :
         QString::fromUtf8(readFile(folder + "/" + DownloadModel::recordName)).split('\n'))
        if (line.startsWith(prefix))
            names << line.mid(prefix.size()).section(QStringLiteral(" (disk "), 0, 0);
    return names;
}

// Empty when `sha256sum -c` passes in the session folder without a word on stderr, the
// record says the session is complete and the checksum list names every file there but
// those the record names as differing; otherwise what is wrong.
inline QString manifestProblem(const QString& folder)
{
    // The tool refuses an empty list, which a folder where nothing is proven has.
    const bool nothingListed = readFile(folder + "/" + DownloadModel::manifestName).isEmpty();
    if (const QString problem = nothingListed ? QString() : checksumListProblem(folder);
        !problem.isEmpty())
        return problem;
    if (!readFile(folder + "/" + DownloadModel::recordName).contains("\nStatus: complete\n"))
        return folder + QStringLiteral(": the record does not say complete");
    QStringList listed;
    for (const QByteArray& line : readFile(folder + "/" + DownloadModel::manifestName).split('\n'))
        if (!line.isEmpty())
            listed << QFile::decodeName(line.mid(66));
    QStringList present = filesBelow(folder);
    present.removeAll(DownloadModel::manifestName);
    present.removeAll(DownloadModel::recordName);
    for (const QString& name : differingInRecord(folder))
        present.removeAll(name);
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
