#include "LogLine.h"

#include <QLoggingCategory>
#include <QMessageLogger>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

LogLine::LogLine(QtMsgType type, const char *file, int line, Mark mark)
    : m_type(type), m_file(file), m_line(line)
{
    if (mark == ErrorMark)
        m_text = QStringLiteral("!!! ERROR: ");
    append(sourceName(file));
    append(QString::number(line));
}

LogLine::~LogLine()
{
    // nospace keeps the trailing blank that ends every trace line.
    QMessageLogger logger(m_file, m_line, nullptr);
    switch (m_type) {
    case QtCriticalMsg:
        logger.critical().noquote().nospace() << m_text;
        break;
    case QtWarningMsg:
        logger.warning().noquote().nospace() << m_text;
        break;
    default:
        logger.debug().noquote().nospace() << m_text;
        break;
    }
}

QString LogLine::sourceName(const char *file)
{
    QString name = QString::fromUtf8(file ? file : "?");
    const qsizetype slash = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return slash >= 0 ? name.mid(slash + 1) : name;
}

QString LogLine::quoted(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size() + 2);
    escaped += QLatin1Char('"');
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': escaped += QLatin1String("\\\\"); break;
        case '"': escaped += QLatin1String("\\\""); break;
        case '\r': escaped += QLatin1String("\\r"); break;
        case '\n': escaped += QLatin1String("\\n"); break;
        case '\t': escaped += QLatin1String("\\t"); break;
        default:
            if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
                || c.category() == QChar::Separator_Paragraph)
                escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                escaped += c;
        }
    }
    escaped += QLatin1Char('"');
    return escaped;
}


QString LogLine::listText(const QStringList &values)
{
    QStringList items;
    items.reserve(values.size());
    for (const QString &value : values)
        items << quoted(value);
    return QLatin1Char('(') + items.join(QLatin1String(", ")) + QLatin1Char(')');
}

void LogLine::append(const QString &item)
{
    m_text += item;
    m_text += QLatin1Char(' ');
}

LogLine &LogLine::operator<<(const char *literal) { append(QString::fromUtf8(literal)); return *this; }
LogLine &LogLine::operator<<(const QString &value) { append(quoted(value)); return *this; }
LogLine &LogLine::operator<<(const QByteArray &value) { append(quoted(QString::fromUtf8(value))); return *this; }
LogLine &LogLine::operator<<(const QStringList &values) { append(listText(values)); return *this; }
LogLine &LogLine::operator<<(int value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(long value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(long long value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(unsigned value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(unsigned long value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(unsigned long long value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(double value) { append(QString::number(value)); return *this; }
LogLine &LogLine::operator<<(bool value) { append(value ? QStringLiteral("true") : QStringLiteral("false")); return *this; }
LogLine &LogLine::raw(const QString &text) { append(text); return *this; }
