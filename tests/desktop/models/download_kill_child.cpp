// One backup through the download view model, as the dialog runs it, for the kill test:
//   download_kill_child <card folder> <backup folder>
// Each sub-folder "<id>_<date>" of the card folder is a session. Existing files and folders
// are overwritten without asking. Exit status 0 when the backup finished.
#include "downloadViewModel.h"
#include "download_test_support.h"

#include <QCoreApplication>
#include <cstdio>

// A killed process leaves its written data to the kernel, so flushes change nothing of what a
// kill leaves behind; they would only make every run wait for a disk shared with others.
extern "C" int syncfs(int)
{
    return 0;
}

extern "C" int fsync(int)
{
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: download_kill_child <card folder> <backup folder>\n");
        return 2;
    }
    const QString cardFolder = QString::fromLocal8Bit(argv[1]);
    auto card = std::make_shared<FolderCard>();
    const QStringList sessions = QDir(cardFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : sessions) {
        const int id = name.section('_', 0, 0).toInt();
        card->sessions.emplace_back(id, name.section('_', 1).toStdString(), 2048);
        card->folders[id] = cardFolder + '/' + name;
    }
    DownloadViewModel viewModel(QString(), new DownloadModel, card);
    viewModel.setDestinationPath(QString::fromLocal8Bit(argv[2]));
    viewModel.setOverwriteAllFiles(true);
    viewModel.setOverwriteAllFolders(true);
    QObject::connect(&viewModel, &DownloadViewModel::backupFailed,
                     [&] { std::fprintf(stderr, "%s\n", qPrintable(viewModel.errorMessage())); });
    bool finished = false;
    QObject::connect(&viewModel, &DownloadViewModel::backupFinished, [&] { finished = true; });
    viewModel.copyFiles();
    return finished ? 0 : 1;
}
