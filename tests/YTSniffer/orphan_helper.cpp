// Owns a driver with a title run and a download under way, and waits to be
// killed: tst_downloader kills it outright and looks for survivors.
// Usage: orphan_helper APP_FOLDER TITLE_ADDRESS FILE_ADDRESS TARGET

#include "Downloader.h"
#include "Platform.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 5)
        return 2;
    Platform::setApplicationFolder(arguments.at(1));
    Downloader driver;
    driver.checkURL(QUrl(arguments.at(2)));
    driver.requestTitle();
    driver.checkURL(QUrl(arguments.at(3)));
    driver.requestFile({}, arguments.at(4));
    return app.exec();
}
