#pragma once

#include "JobHistory.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class JobQueue;
struct JobRecord;

// The queue and its history together, for the window and the command line:
// every job the queue takes is kept, every change of it stored, a state is
// shown once it is on disk, and at start the unfinished jobs come back
// before the newest finished ones are listed.
class JobKeeper : public QObject
{
    Q_OBJECT

public:
    // How many finished jobs the list brings back at start, newest first.
    static constexpr int listedAtStart = 1000;

    JobKeeper(JobQueue *queue, const QString &folder, QObject *parent = nullptr);
    ~JobKeeper() override;

    // Opens the history and brings its jobs back: unfinished ones run again
    // when goOn (else they come back paused). One sentence for the user when
    // the history was set aside or cannot be kept; empty when all is well.
    QString open(bool goOn);
    // Older jobs whose name or site holds the text join the list.
    void findOlder(const QString &text);
    // Which of these addresses a finished job saved; answered by savedFound().
    void findSaved(const QList<QUrl> &addresses);
    // Writes what is pending and lets go of the file (after the queue paused).
    void close();
    bool isOpen() const { return m_history != nullptr; }

signals:
    // The history stopped keeping jobs during the session.
    void failed(const QString &message);
    void savedFound(const QStringList &addresses);

private:
    void listFound(const QList<JobRecord> &records);

    JobQueue *m_queue;
    QString m_folder;
    QPointer<JobHistory> m_history;
};
