#pragma once

#include "SettingsFile.h"
#include "ToolOutput.h"

#include <QStringList>

enum class MessageKind { Warning = 0, Error = 1, DownloaderError = 2 };

// Codes of the "error_messages" list that the window reports.
namespace WindowError {
enum : int {
    BadAddress = 1,        // not a usable address; also a host off the other sites' list
    NotAVideoSite = 2,     // a host off the video sites' list
    NoTestAddress = 8,     // the sniffer test has no address to open
    FolderNotWritable = 9,
    OutsideFolder = 10,    // the file's name would lead out of the chosen folder
    BadSection = 15,       // "Only a part" names no part of the video
};
}

// Where an error is reported, taken once so that the log line and the box's
// detail block name the same source line.
struct ErrorPlace
{
    const char *file;
    int line;
    const char *operation;
};
#define ERROR_PLACE(operation) ErrorPlace{__FILE__, __LINE__, operation}

// What a message box shows for one catalogue code.
struct CatalogueMessage
{
    QString title;
    QString text;       // the message alone (plain text)
    QString boxText;    // what the box shows: plain for warnings, rich text for errors
    bool richText = false;
};

// Looks a code up in the settings lists and builds the box's title and text.
// The lists come from a file the user can edit, so every piece is escaped and
// bounded before it reaches a rich-text box.
class MessageCatalogue
{
public:
    static constexpr int maxTextLength = 2000;

    static QString listName(MessageKind kind);
    // The error location of a place: file name, line, operation, one comment.
    static QStringList errorContext(const ErrorPlace &place, const QString &comment = QString());
    static CatalogueMessage message(const SettingsLists &lists, int code, MessageKind kind,
                                    const QStringList &errorContext);
    // What the box says after the downloader tool's update: which tool, which
    // version, and whether it changed; a general line when the update said neither.
    static QString toolUpdateText(const SettingsLists &lists, const std::optional<ToolUpdate> &update);
};
