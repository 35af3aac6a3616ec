#pragma once

#include <QString>
#include <QUrl>

// Foreign text made fit for a log line or a message: what a user pasted or
// a tool printed may carry passwords, tokens and control characters.
namespace SafeText {

// An address without its user name and password, with every query value
// and the fragment masked: "https://host/watch?v=***&t=***". Text without
// a host loses what may be user information and everything from the query on.
QString address(const QString &address);
QString address(const QUrl &url);

// A line of foreign text: every address in it as address() gives it,
// control characters as blanks.
QString line(const QString &text);

} // namespace SafeText
