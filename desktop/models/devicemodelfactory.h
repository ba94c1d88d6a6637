#ifndef VAULTDESK_DEVICEMODELFACTORY_H
#define VAULTDESK_DEVICEMODELFACTORY_H

#include "Device.h"
#include "devicemodel.h"
#include "utils.h"

#include <QHash>
#include <QList>
#include <string>
#include <sys/types.h>
#include <vector>

// A recording the automatic read-only switch kept on a card instead of discarding it.
struct KeptRecording
{
    QString devicePath;
    qint64 bytes = -1; // -1: the size could not be measured
};

// Discovery of cards among the block devices. Tests override the virtual functions to scan
// image files instead of /dev.
class DeviceModelFactory
{
public:
    // Cards are looked for among the sd* and mmcblk* nodes of deviceFolder.
    explicit DeviceModelFactory(QString deviceFolder = QStringLiteral("/dev"));
    virtual ~DeviceModelFactory();

    const QString& folder() const { return deviceFolder; }

    // The caller owns the model.
    virtual DeviceModel* createDeviceModel(const std::string& devicePath);
    // Nodes found not to be a card are not read again until their medium changes.
    virtual QList<Device> searchDevices();
    virtual QList<StorageInfo> mountedDevices();
    virtual std::vector<unsigned char> readDeviceIdentifier(const std::string& devicePath);
    // Bytes in the card's unclosed session; raises DeviceException when they cannot be
    // measured.
    virtual qint64 unclosedRecordingBytes(const std::string& devicePath);

    // The recordings kept since the last call.
    QList<KeptRecording> takeKeptRecordings();

private:
    // What identifies the medium behind a node: a new node, another device number, a
    // changed size or a change of the node (its permissions, a write through it) make it
    // another medium.
    struct Medium
    {
        ino_t node = 0;
        dev_t number = 0;
        qint64 size = -1;
        qint64 changed = 0;
        bool operator==(const Medium& other) const;
    };
    static bool mediumOf(const std::string& devicePath, Medium& medium);
    // Appends the card at devicePath to devices when there is one there.
    void probe(const StorageInfo& candidate, const std::string& devicePath, QList<Device>& devices);
    void switchToReadOnly(const std::string& devicePath);

    QString deviceFolder;
    QHash<QString, Medium> notCards;
    QList<KeptRecording> keptRecordings;
};

#endif
