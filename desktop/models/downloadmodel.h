#ifndef VAULTDESK_DOWNLOADMODEL_H
#define VAULTDESK_DOWNLOADMODEL_H

#include "devicemodel.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class DigestReader;
class DownloadReader;

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
    QString folder;
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
    // Every later run also writes the same layout under folder, from the same reads of the
    // card, with its own read-back and proof. Empty: no second copy.
    void setMirrorDestination(const QString& folder);
    // Of the last run, one per destination (the main one first), also when it failed.
    std::vector<BackupSummary> summaries() const;
    const BackupSummary& summary() const;
    // Two backup folders must be apart: the same folder, or one inside the other, is no
    // second copy. Throws when they are not.
    static void refuseOverlappingFolders(const QString& first, const QString& second);
    // Creates the folder when missing and tells whether it did; throws with the system's
    // reason when it cannot.
    static bool makeFolderIfMissing(const QString& folder);

protected:
    // Whether each copy is read back from the disk and compared with the card's data before
    // it gets its name; measurements turn it off to show what the check costs.
    virtual bool checksCopiesOnDisk() const;

private:
    class CopyBatch;
    class FolderCommit;
    // One folder a run writes the card's sessions into, and what it proved there.
    struct Destination
    {
        explicit Destination(QString root);
        ~Destination();

        QString root;
        BackupSummary summary;
        QString sessionFolder;
        bool sessionFolderKept = false; // declined by the user: left as it is
        bool sessionFolderMade = false;
        // Files proven to hold the card's bytes in the current session, by path.
        QHash<QString, QByteArray> digests;
        QStringList differing; // record lines of kept files that differ from the card's
        int missing = 0;
        qint64 provenBytes = 0;
        // While a folder's files are copied: copies waiting to be flushed and checked.
        FolderCommit* commit = nullptr;
        // For the read-back of this folder's batches, which run on a thread of their own.
        std::unique_ptr<DigestReader> reader;
    };
    // Where one card file goes: a destination and the path there.
    using Targets = std::vector<std::pair<Destination*, QString>>;

    // The card's sessions, with their sizes counted into the total and the serial number read
    // for the records.
    std::vector<Session> listSessions(DeviceModel& device, Progress& progress);
    // Each destination's free space, and no destination inside another, before anything is
    // written.
    void checkDestinations(const std::vector<Session>& sessions);
    bool copySession(DeviceModel& device, const Session& session, Progress& progress,
                     const OverwriteCallback& onOverwrite, QString& currentFolder);
    // Switches the card to the session and returns where its content shows.
    QString presentSession(DeviceModel& device, const Session& session, Progress& progress);
    // Copies the card folder source to the same relative path in every active destination.
    bool copyTree(const QString& source, const QString& relative,
                  const std::vector<Destination*>& active, Progress& progress,
                  const OverwriteCallback& onOverwrite);
    bool copyFiles(const QString& source, const QString& relative,
                   const std::vector<Destination*>& active, Progress& progress,
                   const OverwriteCallback& onOverwrite);
    // Reads the card's file once into every target.
    bool copyTo(const QString& source, const Targets& targets, Progress& progress);
    // What the card gave for one file: SHA-256 for the checksum list, and the CopyCheck its
    // copy on the disk is compared with.
    struct CardDigests
    {
        QByteArray sha256;
        QByteArray check;
    };
    // Reads the whole input into the outputs, hashing what the card gives. False when
    // cancelled.
    bool copyContent(const QString& source, const std::vector<QFile*>& outputs,
                     const Targets& targets, Progress& progress, CardDigests& digests,
                     QDateTime& modified);
    // Writes one chunk of the card's bytes to every output.
    void writeChunk(const QByteArray& data, qint64 copiedSize, const std::vector<QFile*>& outputs,
                    const Targets& targets);
    // An existing file the user keeps: listed when it holds the card's bytes, named in the
    // record when not. cardDigest is computed on first use.
    void proveKeptFile(Destination& destination, const QString& source, const QString& target,
                       QByteArray& cardDigest);
    // A folder the user keeps: each of the card's files in it, as above; one it lacks leaves
    // the session incomplete.
    void proveKeptFolder(Destination& destination, const QString& source, const QString& target);
    void startSessionFolder(Destination& destination, const Session& session);
    // A session folder this run made and that holds nothing of the card goes again.
    void dropUnusedSessionFolder(Destination& destination);
    void writeRecord(const Destination& destination, const Session& session, bool complete);
    void writeProof(Destination& destination, const Session& session);
    // Flushed to disk before it gets its name.
    void writeSmallFile(const QString& path, const QByteArray& content);
    DigestReader* checkReader(Destination& destination);
    DownloadReader& cardReader();

    // Plans the card's reads for the tree copied from source to relative: its files in copy
    // order, given to the card reader up to the first one whose copy a question decides.
    void planReads(const QString& source, const QString& relative,
                   const std::vector<Destination*>& active, bool asks);
    void listPlanned(const QString& folder, const QString& below);
    void readAhead();
    enum class Turn { Read, Skip, Wait };
    Turn turnOf(const QString& file) const;
    bool existsInAnyDestination(const QString& relative) const;
    // The copy's decision on a card file (read = it is copied), which lets the reader go on.
    void settleFile(const QString& source, bool read);
    void settleFolder(const QString& relative, bool kept);

    QString mirrorDestination;
    std::vector<std::unique_ptr<Destination>> destinations; // the run's; the first is the main
    QString cardSerialNumber;
    QDateTime runStarted;
    QString sessionRelative; // "/<session folder name>" while a session is copied
    const Session* currentSession = nullptr;
    std::unique_ptr<DownloadReader> reader;
    QString planSource;
    QString planRelative;
    QStringList planned; // paths below planSource
    int plannedNext = 0;
    bool planAsks = false;
    QStringList planRoots;      // of the destinations
    QSet<QString> clearFolders; // written into without a question still to come
    QSet<QString> keptFolders;
    std::unique_ptr<DigestReader> keptFileReader;
};

#endif
