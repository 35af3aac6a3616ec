#include "Options.h"

#include <QCoreApplication>

#include <cstring>
#include <thread>

// Usage: options_exit_program [noapp]
// Changes the shared store and leaves; "noapp" lets the application object
// go before the store is first used, so only the process exit saves it.
// Exits with 1 when threads asking at once were given different stores.
int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "noapp") == 0) {
        Orx::Options::instance()->setDefaultAspectRatio(7);
        return 0;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vidarro"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0.218"));
    std::atomic<Orx::Options *> seen[8] = {};
    std::vector<std::thread> threads;
    for (auto &store : seen)
        threads.emplace_back([&store] { store = Orx::Options::instance(); });
    for (auto &thread : threads)
        thread.join();
    for (const auto &store : seen)
        if (store.load() != Orx::Options::instance())
            return 1;
    Orx::Options::instance()->setAlwaysOnTop(true);
    Orx::Options::instance()->addLastOpenedFile(QStringLiteral("/media/one.flv"));
    return 0;
}
