#include "MessageCatalogue.h"

#include "LogLine.h"

namespace {

QString bounded(const QString &text, int limit)
{
    return text.size() <= limit ? text : text.left(limit) + QChar(0x2026);
}

QString contextItem(const QStringList &context, int index)
{
    return index < context.size() ? context.at(index) : QStringLiteral("?");
}

QString html(const QString &text)
{
    return bounded(text, MessageCatalogue::maxTextLength).toHtmlEscaped();
}

} // namespace

QString MessageCatalogue::listName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning: return QStringLiteral("warning_messages");
    case MessageKind::Error: return QStringLiteral("error_messages");
    case MessageKind::DownloaderError: return QStringLiteral("error_messages_dl");
    }
    return QString();
}

QStringList MessageCatalogue::errorContext(const ErrorPlace &place, const QString &comment)
{
    return {LogLine::sourceName(place.file), QString::number(place.line), QString::fromLatin1(place.operation),
            comment};
}

CatalogueMessage MessageCatalogue::message(const SettingsLists &lists, int code, MessageKind kind,
                                           const QStringList &errorContext)
{
    const QString entry = lists.value(listName(kind)).value(code, QStringLiteral("0~Indefinite Error"));
    const QStringList parts = entry.split(QLatin1Char('~'));
    const int titleNumber = parts.value(0, QStringLiteral("0")).trimmed().toInt(nullptr, 10);

    CatalogueMessage result;
    result.title = bounded(lists.value(QStringLiteral("error_titles"))
                               .value(titleNumber, QStringLiteral("Error")), 200);
    result.text = parts.size() > 1 ? parts.at(1) : QStringLiteral("Indefinite Error");
    if (result.title.trimmed().isEmpty())
        result.title = QStringLiteral("Error");

    if (kind == MessageKind::Warning) {
        // A warning has no detail block: never show an empty box.
        result.boxText = result.text.trimmed().isEmpty() ? QStringLiteral("Indefinite Error")
                                                         : bounded(result.text, maxTextLength);
        return result;
    }

    QStringList details;
    details << QStringLiteral("<b>error #") + QString::number(code) + QLatin1Char(':')
                   + html(contextItem(errorContext, 1)) + QStringLiteral("</b>");
    details << (kind == MessageKind::DownloaderError ? QStringLiteral("[DL] ") : QString())
                   + QStringLiteral("in '") + html(contextItem(errorContext, 2))
                   + QStringLiteral("' : ") + html(contextItem(errorContext, 0));
    QString comment = QStringLiteral("comment: ");
    if (errorContext.size() <= 4) {
        comment += errorContext.size() == 4 ? html(errorContext.at(3)) : QStringLiteral("---");
    } else {
        comment += QStringLiteral("<ul>");
        for (int i = 3; i < errorContext.size(); ++i)
            comment += QStringLiteral("<li>") + html(errorContext.at(i)) + QStringLiteral("</li>");
        comment += QStringLiteral("</ul>");
    }
    details << comment;

    result.richText = true;
    result.boxText = html(result.text)
                     + QStringLiteral("<br><br><hr><div style=\"font-size:10px\"><i>")
                     + details.join(QStringLiteral("<br>")) + QStringLiteral("</i></div>");
    return result;
}

QString MessageCatalogue::toolUpdateText(const SettingsLists &lists, const std::optional<ToolUpdate> &update)
{
    const SettingsList texts = lists.value(QStringLiteral("update_messages"));
    if (!update)
        return bounded(texts.value(0, QStringLiteral("The downloader tool was checked for updates.")), maxTextLength);
    QString text = update->updated ? texts.value(2, QStringLiteral("{tool} {previous} was updated to {version}"))
                                   : texts.value(1, QStringLiteral("{tool} {version} is up to date"));
    text.replace(QStringLiteral("{tool}"), update->tool)
        .replace(QStringLiteral("{previous}"), update->previous)
        .replace(QStringLiteral("{version}"), update->version);
    return bounded(text, maxTextLength);
}
