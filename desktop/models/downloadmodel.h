#ifndef VAULTDESK_DOWNLOADMODEL_H
#define VAULTDESK_DOWNLOADMODEL_H

#include "devicemodel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>

// Figures of a running download, handed to the progress callback.
class Progress
{
public:
    explicit Progress(std::function<bool(const Progress&)> callback = {});
    virtual ~Progress();

    virtual void updateProgressTime();
    virtual qint64 getElapsedTime() const; // ms, without overwrite questions
    virtual qint64 getCopyingTime() const; // ms, without session switches and questions

    void startTimers();
    void pauseElapsedTimer();
    void resumeElapsedTimer();
    void pauseCopyingTimer();
    void resumeCopyingTimer();
    // Calls the callback when there is one; true means cancel.
    bool report() const;

    int percent = 0;
    qint64 totalBytes = 0;
    qint64 copiedBytes = 0;  // card-size scale
    qint64 skippedBytes = 0; // sizes of existing files kept
    qint64 elapsedTime = 0;
    qint64 remainingTime = 0;
    float speed = 0; // MiB/s
    bool started = false;
    qint64 copyingTime = 0;
    qint64 sessionCopiedBytes = 0;
    qint64 sessionBytes = 0;
    qint64 sessionFileBytes = 0;
    qint64 sessionSkippedBytes = 0;
    std::function<bool(const Progress&)> callback;

private:
    QElapsedTimer elapsedTimer;
    qint64 elapsedOffset = 0;
    QElapsedTimer copyingTimer;
    qint64 copyingOffset = 0;
};

// Copies every session of a card into a folder of its own. Errors are thrown as
// std::runtime_error; card failures pass through as DeviceException.
class DownloadModel
{
public:
    using ProgressCallback = std::function<bool(const Progress&)>;
    using OverwriteCallback = std::function<bool(const QString& path, bool isFile)>;

    virtual ~DownloadModel();

    // True when every session was processed; false when cancelled or a copy step failed.
    virtual bool CopyFilesFromDevice(std::shared_ptr<DeviceModel> device, QString destination,
                                     ProgressCallback onProgress, OverwriteCallback onOverwrite,
                                     QString& currentFolder);
    // Writes all of data; on failure removes the file and throws.
    virtual void writeBufferToFile(QFile& file, const QByteArray& data);
    // Copies through a temporary file that is flushed to disk before it gets the target's name.
    virtual bool copy(QString source, QString target, Progress& progress);
    virtual bool copyRecursively(QString source, QString target, Progress& progress,
                                 OverwriteCallback onOverwrite);

    qint64 dirSize(QString path);

    // "<id>" or "<id>_<date with '-' for ':'>".
    static QString sessionFolderName(const Session& session);

private:
    class CopyBatch;
    bool copyFiles(const QString& source, const QString& target, Progress& progress,
                   const OverwriteCallback& onOverwrite);

    // While copyRecursively handles a folder's files: copies waiting for one shared flush.
    CopyBatch* batch = nullptr;
};

#endif
