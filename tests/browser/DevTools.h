#pragma once

// Chromium's DevTools protocol over the pipe of --remote-debugging-pipe:
// commands on the browser's descriptor 3, answers and events on its 4, each
// a JSON text ended by a NUL. Waits run the event loop, so a window in the
// test's own process goes on working meanwhile.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class DevTools
{
public:
    DevTools()
    {
        int toBrowser[2], fromBrowser[2];
        if (::pipe(toBrowser) != 0 || ::pipe(fromBrowser) != 0)
            return;
        // Above 4, so that placing them at 3 and 4 in the browser cannot overwrite each other.
        for (int *fd : {&toBrowser[0], &toBrowser[1], &fromBrowser[0], &fromBrowser[1]}) {
            const int high = ::fcntl(*fd, F_DUPFD_CLOEXEC, 10);
            ::close(*fd);
            *fd = high;
        }
        m_browserIn = toBrowser[0];
        m_write = toBrowser[1];
        m_read = fromBrowser[0];
        m_browserOut = fromBrowser[1];
        ::fcntl(m_read, F_SETFL, O_NONBLOCK);
    }
    ~DevTools()
    {
        for (int fd : {m_browserIn, m_write, m_read, m_browserOut})
            if (fd >= 0)
                ::close(fd);
    }

    static QString flag() { return QStringLiteral("--remote-debugging-pipe"); }
    void attach(QProcess &browser) const
    {
        const int in = m_browserIn, out = m_browserOut;
        browser.setChildProcessModifier([in, out] { ::dup2(in, 3); ::dup2(out, 4); });
    }

    // The command's "result", or an empty object after an error or the time.
    QJsonObject call(const QString &method, const QJsonObject &params = {}, const QString &session = {},
                     int ms = 30000)
    {
        QJsonObject command{{"id", ++m_id}, {"method", method}, {"params", params}};
        if (!session.isEmpty())
            command.insert("sessionId", session);
        const QByteArray bytes = QJsonDocument(command).toJson(QJsonDocument::Compact) + '\0';
        if (::write(m_write, bytes.constData(), size_t(bytes.size())) != bytes.size())
            return {};
        QJsonObject answer;
        (void)QTest::qWaitFor([&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(m_read, buffer, sizeof buffer)) > 0;)
                m_buffer.append(buffer, n);
            for (qsizetype end; answer.isEmpty() && (end = m_buffer.indexOf('\0')) >= 0;) {
                const QJsonObject message = QJsonDocument::fromJson(m_buffer.left(end)).object();
                m_buffer.remove(0, end + 1);
                if (message.value("id").toInt() == m_id)
                    answer = message;
            }
            return !answer.isEmpty();
        }, ms);
        if (answer.contains("error"))
            qWarning() << method << answer.value("error").toObject();
        return answer.value("result").toObject();
    }

    // A session on the first target of that type whose address contains the text, or empty.
    QString session(const QString &type, const QString &address)
    {
        for (const QJsonValue &target : call("Target.getTargets").value("targetInfos").toArray()) {
            const QJsonObject info = target.toObject();
            if (info.value("type").toString() == type && info.value("url").toString().contains(address))
                return call("Target.attachToTarget", {{"targetId", info.value("targetId")}, {"flatten", true}})
                    .value("sessionId").toString();
        }
        return {};
    }

    // The value of a script run in the session (a promise awaited).
    QJsonValue evaluate(const QString &session, const QString &script, int ms = 60000)
    {
        const QJsonObject result = call("Runtime.evaluate", {{"expression", script}, {"awaitPromise", true},
                                                             {"returnByValue", true}}, session, ms);
        return result.value("result").toObject().value("value");
    }

    // A click as a person's: the browser takes it as a user gesture.
    void click(const QString &session, const QString &selector)
    {
        const QJsonObject box = evaluate(session, "(() => { const r = document.querySelector('" + selector
                                                      + "').getBoundingClientRect(); return {x: r.x + r.width / 2, "
                                                        "y: r.y + r.height / 2}; })()").toObject();
        for (const char *type : {"mousePressed", "mouseReleased"})
            call("Input.dispatchMouseEvent", {{"type", type}, {"x", box.value("x")}, {"y", box.value("y")},
                                              {"button", "left"}, {"clickCount", 1}}, session);
    }

private:
    int m_browserIn = -1, m_write = -1, m_read = -1, m_browserOut = -1;
    int m_id = 0;
    QByteArray m_buffer;
};
