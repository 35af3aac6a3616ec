#pragma once

#include "JobTypes.h"

class Job;
class QObject;

// The engine of a record: the downloader tool for a page address, the HTTP
// transfer for a sniffed stream, the tool again for a streaming manifest.
// The tool and ffmpeg are those beside the application (else on PATH).
Job *makeJob(const JobRecord &record, QObject *parent);
