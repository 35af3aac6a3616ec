// Runs capture engines on lo and lets the process end with them running:
// one owned by a static object destroyed after the application object, one
// never destroyed at all.

#include <QCoreApplication>
#include <QTimer>

#include "CVideoSniffer.h"

namespace {
std::unique_ptr<CVideoSniffer> owned;
void ignore(QByteArray, QByteArray, QByteArray, QByteArray) {}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    owned = std::make_unique<CVideoSniffer>("lo");
    for (CVideoSniffer *engine : {owned.get(), new CVideoSniffer("lo")}) {
        if (!engine->isCapturing())
            return 3;
        engine->registerCallback(ignore);
    }
    QTimer::singleShot(300, &app, &QCoreApplication::quit);
    return app.exec();
}
