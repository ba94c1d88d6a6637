#ifndef VAULTDESK_DOWNLOADREADER_H
#define VAULTDESK_DOWNLOADREADER_H

#include <QDateTime>
#include <QString>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Reads card files on a thread of its own, a few chunks ahead of the copy and on into the next
// files it was given, so that the card never waits for hashing, writing or the next file's
// opening. Memory stays at a few chunks, whatever the file sizes.
class DownloadReader
{
public:
    // One step of the head file: a chunk of its bytes, or its end, or why it failed.
    struct Piece
    {
        std::vector<char> data; // a whole chunk's buffer, kept at its size for the next one
        qint64 size = 0;        // of the bytes read into it; 0 at the end and on failure
        bool end = false;
        int error = 0;           // errno of the failed call
        bool openFailed = false; // else a read failed
        qint64 sizeAtOpen = 0;   // with the end: a card changed mid-file ends it early
        QDateTime modified;      // with the end
    };

    DownloadReader(size_t chunkSize, size_t chunksAhead);
    ~DownloadReader();
    DownloadReader(const DownloadReader&) = delete;
    DownloadReader& operator=(const DownloadReader&) = delete;

    // Read after the files given before, while the copy is busy with those.
    void add(const QString& path);
    // Makes path the head file: what was given before it is dropped unread.
    void start(const QString& path);
    // The next piece of the head file; waits for the card.
    Piece next();
    // Hands a chunk's buffer back once its bytes are used.
    void recycle(std::vector<char>&& buffer);

private:
    struct File
    {
        quint64 number;
        QString path;
    };
    struct Queued
    {
        quint64 file;
        Piece piece;
    };

    void run();
    void readFile(const File& file);
    // Waits until a chunk may be read ahead; false when the file is no longer wanted.
    bool waitForRoom(quint64 file, std::vector<char>& buffer);
    bool wanted(quint64 file) const; // with the lock held
    void deliver(quint64 file, Piece piece);
    void dropBefore(quint64 file); // with the lock held

    const size_t chunkSize;
    const size_t chunksAhead;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<File> toRead;   // given, not yet opened
    std::deque<File> toStart;  // given, not yet taken by the copy
    std::deque<Queued> pieces; // read, not yet taken
    std::vector<std::vector<char>> spare;
    quint64 nextNumber = 0;
    quint64 firstWanted = 0; // files numbered below are dropped
    bool stopping = false;
    std::thread thread;
};

#endif
