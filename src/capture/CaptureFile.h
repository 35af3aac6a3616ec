#pragma once

#include <cstdint>

#include <QList>
#include <QString>

#include "Ipv4Address.h"
#include "MediaReport.h"

class MediaDetector;

struct CaptureFileResult
{
    bool ok = false;
    QString error;
    int linkType = -1;
    std::uint64_t packets = 0;
    QList<MediaReport> reports;
};

// Feeds a recorded capture file through the same analysis as a live engine,
// frame by frame, with each frame's own time stamp as the current time.
// The detector keeps its callback, ignore list and state; its link type is
// set from the file. Reports are collected in the result as well.
CaptureFileResult readCaptureFile(const QString &path, MediaDetector &detector);

// The same with a fresh detector for the given local address.
CaptureFileResult readCaptureFile(const QString &path, const Ipv4Address &localAddress);
