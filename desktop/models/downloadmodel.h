#ifndef VAULTDESK_DOWNLOADMODEL_H
#define VAULTDESK_DOWNLOADMODEL_H

#include "devicemodel.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class DigestReader;

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
    // Counts bytes read from the card's files, in the card-size scale of the session.
    void addReadBytes(qint64 count);
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
    qint64 sessionReadBytes = 0; // file bytes read from the card in the current session
    std::function<bool(const Progress&)> callback;

private:
    QElapsedTimer elapsedTimer;
    qint64 elapsedOffset = 0;
    QElapsedTimer copyingTimer;
    qint64 copyingOffset = 0;
};

// A failed backup step: which side failed and why, so that the user hears it in their terms.
class BackupError : public std::runtime_error
{
public:
    enum class Side { Card, Destination };
    BackupError(const QString& message, Side side, QString path, int systemError);

    Side side;
    QString path;    // the file or folder the step failed on
    int systemError; // errno of the failed call; 0 when there was none
};

// What a run left behind, also after a failure: which sessions are complete and proven.
struct BackupSummary
{
    QStringList provenSessions; // session folder names, complete and proven
    QString incompleteSession;  // the one being written when the run stopped
    int files = 0;              // files proven to hold the card's bytes
    qint64 bytes = 0;
    int keptDiffering = 0; // kept although they differ from the card's
    int missing = 0;       // card files not in kept folders
};

// Copies every session of a card into a folder of its own. Errors are thrown as
// std::runtime_error (BackupError for the copy's own steps); card failures pass through as
// DeviceException.
class DownloadModel
{
public:
    using ProgressCallback = std::function<bool(const Progress&)>;
    using OverwriteCallback = std::function<bool(const QString& path, bool isFile)>;

    DownloadModel();
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

    qint64 dirSize(const QString& path);
    // Bytes of the files copyRecursively copies from path (no hidden or left-out entries).
    qint64 copyableSize(const QString& path);

    // "<id>" or "<id>_<date with '-' for ':'>".
    static QString sessionFolderName(const Session& session);

    // Files each session folder of a backup gets beside the copies: the checksum list and
    // the record of the backup.
    static const QString manifestName;
    static const QString recordName;

    // Written into each session's record; read from the card when it was not given.
    void setCardSerialNumber(const QString& serialNumber);
    // Of the last run, also when it failed.
    const BackupSummary& summary() const;
    // Creates the folder when missing; throws with the system's reason when it cannot.
    static void makeFolderIfMissing(const QString& folder);

protected:
    // Whether each copy is read back from the disk and compared with the card's data before
    // it gets its name; measurements turn it off to show what the check costs.
    virtual bool checksCopiesOnDisk() const;

private:
    class CopyBatch;
    class FolderCommit;
    // The card's sessions, with their sizes counted into the total and the serial number read
    // for the records.
    std::vector<Session> listSessions(DeviceModel& device, Progress& progress);
    bool copySession(DeviceModel& device, const Session& session, const QString& destination,
                     Progress& progress, const OverwriteCallback& onOverwrite,
                     QString& currentFolder);
    // Switches the card to the session and returns where its content shows.
    QString presentSession(DeviceModel& device, const Session& session, const QString& destination,
                           Progress& progress);
    bool copyFiles(const QString& source, const QString& target, Progress& progress,
                   const OverwriteCallback& onOverwrite);
    // What the card gave for one file: SHA-256 for the checksum list, and the CopyCheck its
    // copy on the disk is compared with.
    struct CardDigests
    {
        QByteArray sha256;
        QByteArray check;
    };
    // Reads the whole input into the output, hashing what the card gives. False when cancelled.
    bool copyContent(QFile& input, QFile& output, const QString& target, Progress& progress,
                     CardDigests& digests);
    // An existing file the user keeps: listed when it holds the card's bytes, named in the
    // record when not.
    void proveKeptFile(const QString& source, const QString& target);
    // A folder the user keeps: each of the card's files in it, as above; one it lacks leaves
    // the session incomplete.
    void proveKeptFolder(const QString& source, const QString& target, Progress& progress);
    // Free space for what the sessions will add, before anything is written.
    void checkSpace(const QString& destination, const std::vector<Session>& sessions);
    void startSessionFolder(const QString& folder, const Session& session);
    // A session folder this run made and that holds nothing of the card goes again.
    void dropUnusedSessionFolder();
    void writeRecord(const QString& folder, const Session& session, bool complete);
    void writeProof(const QString& folder, const Session& session);
    // Flushed to disk before it gets its name.
    void writeSmallFile(const QString& path, const QByteArray& content);

    // While copyRecursively handles a folder's files: copies waiting to be flushed and checked.
    FolderCommit* folderCommit = nullptr;
    QString cardSerialNumber;
    QDateTime runStarted;
    QString sessionFolder;
    bool sessionFolderKept = false;
    bool sessionFolderMade = false;
    // Digests of the files proven to hold the card's bytes in the current session, by path.
    QHash<QString, QByteArray> sessionDigests;
    // Record lines of kept files that differ from the card's.
    QStringList sessionDiffering;
    int sessionMissing = 0;
    qint64 sessionProvenBytes = 0;
    const Session* currentSession = nullptr;
    BackupSummary runSummary;
    // Kept from file to file: allocating a chunk for each of thousands of small files costs.
    std::vector<char> chunk;
    std::unique_ptr<DigestReader> reader;
    std::unique_ptr<DigestReader> keptFileReader;
    DigestReader& digestReader();
    DigestReader* checkReader();
};

#endif
