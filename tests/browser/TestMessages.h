#pragma once

// Messages as the extension sends them, and the extension as the
// browser-capture tests load it.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QtEndian>

inline const QString cookieValue = QStringLiteral("sid=secret-cookie-value");

// A valid stream message; `change` replaces a field, an undefined value removes it.
inline QByteArray stream(const QString &key = QString(), const QJsonValue &change = QJsonValue())
{
    QJsonObject object{
        {"kind", "stream"}, {"url", "https://media.example/v/clip.mp4?sig=1"}, {"method", "GET"},
        {"status", 206},
        {"requestHeaders", QJsonArray{QJsonObject{{"name", "Cookie"}, {"value", cookieValue}},
                                      QJsonObject{{"name", "referer"}, {"value", "https://media.example/"}}}},
        {"contentType", "video/mp4"}, {"contentLength", 1000}, {"contentRange", "bytes 0-999/250000"},
        {"tabTitle", "A clip"}, {"pageUrl", "https://media.example/watch"}, {"time", 1700000000123.0}};
    if (!key.isEmpty())
        change.isUndefined() ? void(object.remove(key)) : void(object.insert(key, change));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

inline QJsonArray headers(const QString &name, const QString &value, int count = 1)
{
    QJsonArray list;
    for (int i = 0; i < count; ++i)
        list.append(QJsonObject{{"name", name}, {"value", value}});
    return list;
}

// Only the 32-bit length of a frame.
inline QByteArray lengthOnly(quint32 length)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToUnaligned(length, bytes.data());
    return bytes;
}

// A copy of the browser's extension ("chromium" or "firefox") whose manifest
// requires webRequest: it watches from the start, as the shipped one does
// once the user turned watching on.
inline bool copyWatchingExtension(const QString &target, const QString &browser)
{
    const QDir source(VIDARRO_EXTENSION_DIR "/" + browser);
    if (!QDir().mkpath(target))
        return false;
    for (const QString &name : source.entryList(QDir::Files)) {
        QFile::remove(target + '/' + name);
        if (!QFile::copy(source.filePath(name), target + '/' + name))
            return false;
    }
    QFile file(target + "/manifest.json");
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QJsonObject manifest = QJsonDocument::fromJson(file.readAll()).object();
    QJsonArray permissions = manifest.value("permissions").toArray();
    permissions.append("webRequest");
    manifest.insert("permissions", permissions);
    manifest.remove("optional_permissions");
    const QByteArray bytes = QJsonDocument(manifest).toJson();
    return file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size();
}
