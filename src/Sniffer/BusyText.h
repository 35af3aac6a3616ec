#pragma once

#include <QString>

// Texts of the busy page and of the message that ends a download.
namespace BusyText {

// The progress bar's format: the percentage, then the speed and the time
// left when the tool knows them ("%p%  ·  1.2MiB/s  ·  00:12 left").
QString progressFormat(const QString &speed, const QString &timeLeft);

// "Download complete", the saved file's name and its folder.
QString completion(const QString &file);

} // namespace BusyText
