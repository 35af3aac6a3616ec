#include "HostLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

HostLog::HostLog(const QString &perUserFolder)
    : m_path(perUserFolder + QStringLiteral("/browser-host.log"))
{
}

void HostLog::write(const QString &line)
{
    QFile file(m_path);
    if (file.size() > maxSize) {
        QFile::remove(m_path + QStringLiteral(".old"));
        QFile::rename(m_path, m_path + QStringLiteral(".old"));
    }
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QString text = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QStringLiteral(" [")
                         + QString::number(QCoreApplication::applicationPid()) + QStringLiteral("] ") + line
                         + QLatin1Char('\n');
    file.write(text.toUtf8());
}
