// vidarro-browser-host: started by the browser for Vidarro's extension
// (see the host manifests). Reads native-messaging frames on stdin, answers
// each on stdout and hands media streams to the running window, or keeps
// them for it when no window listens.

#include "HostLoop.h"
#include "Platform.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>

int main(int argc, char **argv)
{
    // A window or browser gone shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    Platform::ensurePerUserFolder();
    HostLoop loop(Platform::perUserFolder());
    return loop.run(STDIN_FILENO, STDOUT_FILENO, argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
}
