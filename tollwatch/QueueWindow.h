#pragma once

#include "PrintQueues.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QSet>

class QLabel;
class QTimer;
class QTreeWidget;

namespace tollwatch {

// The viewer's window: one row per print queue, its jobs below it, and a status line saying when the list
// was read or why it could not be. The list is read anew every few seconds, away from the window's
// thread, so a print server that is slow to answer never freezes the window.
class QueueWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int RefreshMs = 3000;
    static constexpr int CompletedPerQueue = 10;

    explicit QueueWindow(QWidget* parent = nullptr);

    // Reads the queues now, unless a reading is still on its way.
    void refresh();

private:
    void display(const QueueSnapshot& snapshot);

    QTreeWidget* m_tree;
    QLabel* m_status;
    QTimer* m_timer;
    QFutureWatcher<QueueSnapshot> m_reading;
    QSet<QString> m_collapsed; // queues the user closed, kept closed across refreshes
};

} // namespace tollwatch
