#include "downloadreader.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

DownloadReader::DownloadReader(size_t chunkSize, size_t chunksAhead)
    : chunkSize(chunkSize), chunksAhead(chunksAhead), thread([this] { run(); })
{
}

DownloadReader::~DownloadReader()
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    changed.notify_all();
    thread.join();
}

void DownloadReader::add(const QString& path)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        const File file{nextNumber++, path};
        toRead.push_back(file);
        toStart.push_back(file);
    }
    changed.notify_all();
}

void DownloadReader::start(const QString& path)
{
    std::unique_lock<std::mutex> guard(lock);
    while (!toStart.empty() && toStart.front().path != path)
        toStart.pop_front();
    if (toStart.empty()) {
        const File file{nextNumber++, path};
        toRead.push_back(file);
        toStart.push_back(file);
    }
    dropBefore(toStart.front().number);
    toStart.pop_front();
    guard.unlock();
    changed.notify_all();
}

DownloadReader::Piece DownloadReader::next()
{
    std::unique_lock<std::mutex> guard(lock);
    // The head file was handed over by start(), so its pieces are on their way.
    changed.wait(guard, [this] { return !pieces.empty(); });
    Piece piece = std::move(pieces.front().piece);
    pieces.pop_front();
    guard.unlock();
    changed.notify_all();
    return piece;
}

void DownloadReader::recycle(std::vector<char>&& buffer)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (spare.size() < chunksAhead + 1)
        spare.push_back(std::move(buffer));
}

void DownloadReader::run()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return stopping || !toRead.empty(); });
        if (stopping)
            return;
        const File file = toRead.front();
        toRead.pop_front();
        guard.unlock();
        readFile(file);
        guard.lock();
    }
}

void DownloadReader::readFile(const File& file)
{
    Piece last;
    last.end = true;
    const int descriptor = ::open(QFile::encodeName(file.path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        last.openFailed = true;
        last.error = errno;
        deliver(file.number, std::move(last));
        return;
    }
    struct stat info
    {
    };
    if (::fstat(descriptor, &info) != 0)
        last.error = errno;
    last.sizeAtOpen = info.st_size;
    last.modified =
        QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec).addMSecs(info.st_mtim.tv_nsec / 1000000);
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    while (last.error == 0) {
        std::vector<char> buffer;
        if (!waitForRoom(file.number, buffer)) {
            ::close(descriptor);
            return;
        }
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count <= 0) {
            if (count < 0 && errno != EINTR)
                last.error = errno;
            recycle(std::move(buffer));
            if (count < 0 && last.error == 0)
                continue;
            break;
        }
        Piece piece;
        piece.data = std::move(buffer);
        piece.size = count;
        deliver(file.number, std::move(piece));
    }
    ::close(descriptor);
    deliver(file.number, std::move(last));
}

bool DownloadReader::waitForRoom(quint64 file, std::vector<char>& buffer)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return !wanted(file) || pieces.size() < chunksAhead; });
    if (!wanted(file))
        return false;
    if (!spare.empty()) {
        buffer = std::move(spare.back());
        spare.pop_back();
        return true;
    }
    guard.unlock();
    buffer.resize(chunkSize);
    return true;
}

bool DownloadReader::wanted(quint64 file) const
{
    return !stopping && file >= firstWanted;
}

void DownloadReader::deliver(quint64 file, Piece piece)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!wanted(file))
            return;
        pieces.push_back({file, std::move(piece)});
    }
    changed.notify_all();
}

void DownloadReader::dropBefore(quint64 file)
{
    firstWanted = std::max(firstWanted, file);
    while (!toRead.empty() && toRead.front().number < firstWanted)
        toRead.pop_front();
    while (!pieces.empty() && pieces.front().file < firstWanted)
        pieces.pop_front();
}
