#pragma once

#include "SettingsFile.h"

#include <QStringList>

enum class MessageKind { Warning = 0, Error = 1, DownloaderError = 2 };

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
    static CatalogueMessage message(const SettingsLists &lists, int code, MessageKind kind,
                                    const QStringList &errorContext);
};
