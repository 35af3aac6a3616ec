// vidarro-browser-host: started by the browser for Vidarro's extension
// (see the host manifests). Reads native-messaging frames on stdin, answers
// each on stdout and hands media streams to the running window, or keeps
// them for it when no window listens.

#include "HostLoop.h"
#include "Platform.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>

namespace {

void stopLoop(int)
{
    HostLoop::stop();
}

} // namespace

int main(int argc, char **argv)
{
    // A window or browser gone shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    // The browser may end the host with SIGTERM once it closed the pipes:
    // without SA_RESTART the blocked read returns and the loop ends cleanly.
    struct sigaction term = {};
    term.sa_handler = stopLoop;
    sigemptyset(&term.sa_mask);
    sigaction(SIGTERM, &term, nullptr);
    QCoreApplication app(argc, argv);
    Platform::ensurePerUserFolder();
    HostLoop loop(Platform::perUserFolder());
    return loop.run(STDIN_FILENO, STDOUT_FILENO, argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
}
