// Runs capture engines on lo and lets the process end with them running:
// some owned by a static list destroyed after the application object, some
// never destroyed at all.

#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QTimer>

#include "CVideoSniffer.h"

namespace {
std::vector<std::unique_ptr<CVideoSniffer>> engines;
void ignore(QByteArray, QByteArray, QByteArray, QByteArray) {}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    engines.push_back(std::make_unique<CVideoSniffer>("lo"));
    auto *leaked = new CVideoSniffer("lo");
    for (CVideoSniffer *engine : {engines.front().get(), leaked}) {
        if (!engine->isCapturing())
            return 3;
        engine->registerCallback(ignore);
    }
    QTimer::singleShot(300, &app, &QCoreApplication::quit);
    return app.exec();
}
