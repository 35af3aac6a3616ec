#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QtGlobal>

// The process-wide message handler: every message goes to the console and
// is appended to the day's log file in the per-user folder.
void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);

// "D: text", "W: text", "C: text" or "F: text" followed by CR LF.
QByteArray logFileLine(QtMsgType type, const QString &text);

// Per-user folder + "/log_" + day of the year + ".txt", native separators.
QString logFilePath(const QDate &day);
