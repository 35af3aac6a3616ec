#pragma once

// Firefox's Marionette protocol on the loopback port it writes into the
// profile (pref marionette.port 0: a free one): each message is its length
// in decimal, a colon and a JSON text; a command is [0, id, name, parameters],
// its answer [1, id, error, result]. Waits run the event loop, so a window in
// the test's own process goes on working meanwhile.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QtTest>

class Marionette
{
public:
    // Connected to the browser of that profile, with a session open.
    bool open(const QString &profile, int ms = 60000)
    {
        quint16 port = 0;
        QFile file(profile + "/MarionetteActivePort");
        const auto written = [&] { return file.open(QIODevice::ReadOnly) && (port = file.readAll().toUShort()) != 0; };
        if (!QTest::qWaitFor(written, ms))
            return false;
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        const QJsonObject greeting = next(ms).toObject();
        return greeting.value("marionetteProtocol").toInt() == 3 && call("WebDriver:NewSession").isObject();
    }

    // The command's result, or undefined after an error or the time.
    QJsonValue call(const QString &name, const QJsonObject &params = {}, int ms = 30000)
    {
        const QByteArray json = QJsonDocument(QJsonArray{0, ++m_id, name, params}).toJson(QJsonDocument::Compact);
        m_socket.write(QByteArray::number(json.size()) + ':' + json);
        for (QJsonArray answer; !(answer = next(ms).toArray()).isEmpty();) {
            if (answer.at(1).toInt() != m_id)
                continue;
            if (!answer.at(2).isNull())
                qWarning() << name << answer.at(2).toObject().value("message").toString();
            return answer.at(2).isNull() ? answer.at(3) : QJsonValue(QJsonValue::Undefined);
        }
        return QJsonValue::Undefined;
    }

    bool navigate(const QString &url) { return call("WebDriver:Navigate", {{"url", url}}, 60000).isObject(); }

    // What a script in the tab's page returns (a promise awaited).
    QJsonValue script(const QString &body)
    {
        return call("WebDriver:ExecuteScript", {{"script", body}, {"args", QJsonArray()}}).toObject().value("value");
    }

    // A click as a person's: Firefox takes it as user input.
    bool click(const QString &selector)
    {
        const QJsonObject element = call("WebDriver:FindElement", {{"using", "css selector"}, {"value", selector}})
                                        .toObject().value("value").toObject();
        return !element.isEmpty() && call("WebDriver:ElementClick", {{"id", element.begin().value()}}).isObject();
    }

private:
    // The next message, or undefined after the time or once the browser is gone.
    QJsonValue next(int ms)
    {
        QJsonDocument message;
        (void)QTest::qWaitFor([&] {
            m_buffer += m_socket.readAll();
            const qsizetype colon = m_buffer.indexOf(':');
            const qsizetype length = m_buffer.left(qMax(colon, 0)).toLongLong();
            if (colon <= 0 || m_buffer.size() - colon - 1 < length)
                return m_socket.state() == QAbstractSocket::UnconnectedState;
            message = QJsonDocument::fromJson(m_buffer.mid(colon + 1, length));
            m_buffer.remove(0, colon + 1 + length);
            return true;
        }, ms);
        return message.isArray() ? QJsonValue(message.array())
               : message.isObject() ? QJsonValue(message.object()) : QJsonValue(QJsonValue::Undefined);
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    int m_id = 0;
};
