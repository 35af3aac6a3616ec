#include "Options.h"

#include <QCoreApplication>
#include <QThread>

#include <cstring>

// Usage: options_exit_program [noapp]
// Changes the shared store and leaves; "noapp" lets the application object
// go before the store is first used, so only the process exit saves it.
int main(int argc, char **argv)
{
    const bool withApp = !(argc > 1 && std::strcmp(argv[1], "noapp") == 0);
    if (withApp) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Vidarro"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0.218"));
        Orx::Options::instance()->setAlwaysOnTop(true);
        Orx::Options::instance()->addLastOpenedFile(QStringLiteral("/media/one.flv"));
        return 0;
    }
    Orx::Options::instance()->setDefaultAspectRatio(7);
    return 0;
}
