// vaultdesk's single-instance guard in a small program, for tests that start it as separate
// processes: guard_probe <application name>
// Prints "primary" or "secondary <instance id>". A primary then prints "started" for each
// announced start and "message <id> <bytes>" for each message, and ends when its standard
// input reads "quit" or closes.
#include "startup.h"

#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <application name>\n", argv[0]);
        return 2;
    }
    QCoreApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    SingleApplication app(argc, argv, true, guardOptions(), 1000);
    if (app.isSecondary()) {
        std::printf("secondary %u\n", app.instanceId());
        return 0;
    }
    std::printf("primary\n");
    std::fflush(stdout);
    QObject::connect(&app, &SingleApplication::instanceStarted, [] {
        std::printf("started\n");
        std::fflush(stdout);
    });
    QObject::connect(&app, &SingleApplication::receivedMessage,
                     [](uint instanceId, const QByteArray& message) {
                         std::printf("message %u %s\n", instanceId, message.constData());
                         std::fflush(stdout);
                     });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64] = {};
        const ssize_t length = ::read(STDIN_FILENO, line, sizeof(line) - 1);
        if (length <= 0 || QByteArray(line).startsWith("quit"))
            app.quit();
    });
    return app.exec();
}
