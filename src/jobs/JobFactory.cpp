#include "JobFactory.h"

#include "AddressJob.h"
#include "Platform.h"
#include "StreamJob.h"
#include "TransferJob.h"

#include <QDir>

Job *makeJob(const JobRecord &record, QObject *parent)
{
    switch (record.request.source) {
    case JobSource::Address:
        return new AddressJob(record.request, record.resume, parent);
    case JobSource::Transfer:
        return new TransferJob(record.request, record.resume, parent);
    case JobSource::Manifest:
        break;
    }
    const QString tool = QDir::toNativeSeparators(Platform::applicationFolder() + QLatin1Char('/')
                                                  + Platform::downloaderToolName());
    return new StreamJob(tool, Platform::companionProgram(QStringLiteral("ffmpeg")), record.request, parent);
}
