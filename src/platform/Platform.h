#pragma once

#include <QString>

// Where the application's files and companion programs live on this platform.
// Every other part asks here instead of spelling out a Windows or Linux path.
namespace Platform {

// "win" on Windows, "linux" elsewhere; part of the settings template's name.
QString platformTag();

// The per-user folder: $APPDATA when set, otherwise the XDG data folder,
// then "/Vidarro"; native separators. Not created here.
QString perUserFolder();

// Creates the per-user folder when missing: one level below $APPDATA (a
// missing $APPDATA is not invented), the whole path below the XDG data
// folder, which a fresh account may not have yet. False when it cannot.
bool ensurePerUserFolder();

// The folder of the running executable, or the folder set for tests.
QString applicationFolder();
void setApplicationFolder(const QString &folder);

// Names of the programs that sit beside the application.
QString downloaderToolName();   // "run.exe" / "run"
QString updateScriptSuffix();   // ".bat" / ".sh"
QString updaterProgramName();   // "wyUpdate.exe" / "wyUpdate"
QString executableSuffix();     // ".exe" / ""

// A companion program such as ffmpeg or ffplay: the copy beside the
// application when there is one, else the one found on PATH, else the
// path beside the application (so the failure names the expected place).
QString companionProgram(const QString &baseName);

// The settings template shipped beside the executable.
QString settingsTemplatePath();

QString documentsFolder();
QString musicFolder();
QString moviesFolder();
QString desktopFolder();
QString homeFolder();
QString cacheFolder();

} // namespace Platform
