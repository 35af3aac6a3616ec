#include "CaptureFile.h"

#include <QFile>

#include <pcap/pcap.h>

#include "LogLine.h"
#include "MediaDetector.h"

CaptureFileResult readCaptureFile(const QString &path, MediaDetector &detector)
{
    CaptureFileResult result;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t *file = pcap_open_offline(QFile::encodeName(path).constData(), errorBuffer);
    if (!file) {
        result.error = QString::fromLocal8Bit(errorBuffer);
        LOG_ERROR << "readCaptureFile" << ":" << path << ":" << result.error;
        return result;
    }
    result.linkType = pcap_datalink(file);
    if (!MediaDetector::supportsLinkType(result.linkType)) {
        result.error = QStringLiteral("unsupported link type %1").arg(result.linkType);
        LOG_ERROR << "readCaptureFile" << ":" << path << ":" << result.error;
        pcap_close(file);
        return result;
    }
    detector.setLinkType(result.linkType);
    detector.setReportSink([&result](const MediaReport &report) { result.reports.append(report); });

    pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    int status = 0;
    while ((status = pcap_next_ex(file, &header, &data)) > 0) {
        ++result.packets;
        detector.analyze({data, header->caplen}, header->ts.tv_sec);
    }
    detector.setReportSink({});
    if (status == PCAP_ERROR) {
        result.error = QString::fromLocal8Bit(pcap_geterr(file));
        LOG_ERROR << "readCaptureFile" << ":" << path << ":" << result.error;
    } else {
        result.ok = true;
    }
    pcap_close(file);
    return result;
}

CaptureFileResult readCaptureFile(const QString &path, const Ipv4Address &localAddress)
{
    MediaDetector detector(MediaDetector::defaultLinkType(), localAddress);
    return readCaptureFile(path, detector);
}
