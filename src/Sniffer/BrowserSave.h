#pragma once

#include "BrowserStream.h"
#include "JobTypes.h"

#include <QString>

#include <functional>

// A stream the browser handed over to be saved as it is ("Save" in the
// extension's list, "Download with Vidarro" on a media element): no question
// asked, into the video folder (the audio folder for sound), named after it.
namespace BrowserSave {

// The tab's title, else the address's file name without its extension,
// else the host.
QString name(const BrowserStream &stream);

// The job: a manifest through the tool at its best quality, merged into an
// MP4; any other stream fetched whole, as it is, with the browser's request
// headers (sound too, into the audio folder).
// taken: true for a path already in use, so that two streams of one page
// never share a file.
JobRequest request(const BrowserStream &stream, const QString &videoFolder, const QString &audioFolder,
                   const std::function<bool(const QString &)> &taken);

} // namespace BrowserSave
