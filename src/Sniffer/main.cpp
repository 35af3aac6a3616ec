#include "LogHandler.h"
#include "Sniffer.h"
#include "Version.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    qInstallMessageHandler(logMessageHandler);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vidarro"));
    QApplication::setApplicationVersion(QStringLiteral(VIDARRO_VERSION));

    Sniffer window;
    window.initialise();
    if (!window.launchUpdater())
        return 0;
    window.showMainDialog();
    QObject::connect(&app, &QApplication::focusChanged, &window, &Sniffer::focusChanged);
    return app.exec();
}
