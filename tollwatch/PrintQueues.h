#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace tollwatch {

// One job of a queue as the print server reports it.
struct QueueJob
{
    int id = 0;
    QString queue;
    QString user;
    QString document;
    int pages = -1; // -1 while the server does not know it
    int state = 0;  // the IPP job state, 3 (pending) to 9 (completed)
    QDateTime time; // when it was sent, or when it ended for a completed job
    bool completed = false;
};

// One print queue (printer or class) with its jobs: those not completed yet, then the last completed ones,
// newest first.
struct PrintQueue
{
    QString name;
    bool isDefault = false;
    int state = 0; // the IPP printer state, 3 (idle) to 5 (stopped); 0 when not reported
    QList<QueueJob> jobs;
};

// What one look at the print server found.
struct QueueSnapshot
{
    bool reachable = false;
    QString server;
    QString error; // why the server could not be asked; empty when it answered
    QList<PrintQueue> queues;
    QDateTime takenAt;
};

// Asks the CUPS server the client library is set up for (cupsServer()) for its queues and jobs, keeping
// at most completedPerQueue completed jobs per queue. Safe to call from any thread; never throws. A server
// that does not answer gives a snapshot without queues and with the reason.
QueueSnapshot readPrintQueues(int completedPerQueue);

QString jobStateText(int state);
QString queueStateText(int state);

} // namespace tollwatch
