#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

// How fit the downloader is, for the health line of the settings page: the
// tool's version and place, the last update and its result, the JavaScript
// runtime the launcher passes, and ffmpeg's version. Empty texts: unknown.
struct ToolHealth
{
    QString toolVersion;
    QString toolPath;
    bool ownCopy = false;     // this user's verified copy, not the system's
    QString runtime;          // "node 20.20.2"; empty with one of the two below
    bool runtimeNone = false; // the tool takes a runtime and none was found
    bool runtimeUnused = false; // this version of the tool takes none
    QString ffmpegVersion;
    QString updateTime;       // "2026-12-07 03:40 UTC"
    QString updateResult;     // the update's own last line
    bool updateOk = false;
    QString runtimeFailure;   // the last update's word on deno when its step failed
    bool runtimeUnverified = false; // ... because an address off https was refused

    // A few short lines, as the settings page shows them.
    QString text() const;

    // Readers of what the programs and the update left; each checks every
    // piece and leaves what does not fit empty.
    // "run --tool-info": "tool VERSION PATH", "js-runtime NAME VERSION PATH|none|unsupported".
    void readToolInfo(const QStringList &lines, const QString &ownFolder);
    // "ffmpeg -version": "ffmpeg version VERSION Copyright ...".
    void readFfmpeg(const QStringList &lines);
    // "tools/last-update": "TIME EXITCODE LAST LINE", then the same for deno's step when it ran
    // (its code 2: refused, not verified).
    void readLastUpdate(const QByteArray &data);
};

Q_DECLARE_METATYPE(ToolHealth)
