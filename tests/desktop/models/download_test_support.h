// What both download engine tests use: file helpers and a card made of folders.
#ifndef VIX_DOWNLOAD_TEST_SUPPORT_H
#define VIX_DOWNLOAD_TEST_SUPPORT_H

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

// A card whose sessions are folders; switching makes one the mount point.
class FolderCard : public FakeDeviceModel
{
public:
    FolderCard() : FakeDeviceModel("/dev/null") {}
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
