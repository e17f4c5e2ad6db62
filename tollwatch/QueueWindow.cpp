#include "QueueWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QtConcurrent>

namespace tollwatch {

namespace {

enum Column { NameColumn, UserColumn, DocumentColumn, PagesColumn, StateColumn, TimeColumn, ColumnCount };

// Set on every row: the queue's name, and the job's id (0 on a queue's row).
constexpr int QueueRole = Qt::UserRole;
constexpr int JobRole = Qt::UserRole + 1;

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")) : QString();
}

QTreeWidgetItem* queueItem(const PrintQueue& queue)
{
    auto* item = new QTreeWidgetItem;
    item->setText(NameColumn, queue.isDefault ? queue.name + QStringLiteral(" (padrão)") : queue.name);
    item->setText(StateColumn, queueStateText(queue.state));
    item->setData(NameColumn, QueueRole, queue.name);
    item->setData(NameColumn, JobRole, 0);
    QFont bold = item->font(NameColumn);
    bold.setBold(true);
    item->setFont(NameColumn, bold);
    return item;
}

QTreeWidgetItem* jobItem(const PrintQueue& queue, const QueueJob& job)
{
    auto* item = new QTreeWidgetItem;
    item->setText(NameColumn, QString::number(job.id));
    item->setText(UserColumn, job.user);
    item->setText(DocumentColumn, job.document);
    item->setText(PagesColumn, job.pages >= 0 ? QString::number(job.pages) : QString());
    item->setText(StateColumn, jobStateText(job.state));
    item->setText(TimeColumn, timeText(job.time));
    item->setTextAlignment(PagesColumn, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(NameColumn, QueueRole, queue.name);
    item->setData(NameColumn, JobRole, job.id);
    if (job.completed) {
        for (int column = 0; column < ColumnCount; ++column) {
            item->setForeground(column, QPalette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    return item;
}

} // namespace

QueueWindow::QueueWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_tree(new QTreeWidget(this))
    , m_status(new QLabel(this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("frmTollwatch"));
    setWindowTitle(QStringLiteral("Tollwatch - Fila de Impressão"));
    resize(900, 480);

    m_tree->setObjectName(QStringLiteral("TreeFilas"));
    m_tree->setColumnCount(ColumnCount);
    m_tree->setHeaderLabels({ QStringLiteral("Fila / Trabalho"), QStringLiteral("Usuário"), QStringLiteral("Documento"),
                              QStringLiteral("Páginas"), QStringLiteral("Estado"), QStringLiteral("Hora") });
    m_tree->setRootIsDecorated(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(DocumentColumn, QHeaderView::Stretch);
    for (const int column : { PagesColumn, StateColumn, TimeColumn }) {
        m_tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    m_tree->setColumnWidth(NameColumn, 200);
    setCentralWidget(m_tree);

    m_status->setObjectName(QStringLiteral("lbStatus"));
    statusBar()->addWidget(m_status, 1);
    m_status->setText(QStringLiteral("Consultando o servidor de impressão..."));

    connect(m_tree, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { m_collapsed.insert(item->data(NameColumn, QueueRole).toString()); });
    connect(m_tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { m_collapsed.remove(item->data(NameColumn, QueueRole).toString()); });
    connect(&m_reading, &QFutureWatcher<QueueSnapshot>::finished, this, [this]() { display(m_reading.result()); });

    m_timer->setObjectName(QStringLiteral("TimerFila"));
    m_timer->setInterval(RefreshMs);
    connect(m_timer, &QTimer::timeout, this, &QueueWindow::refresh);
    m_timer->start();
    refresh();
}

void QueueWindow::refresh()
{
    if (m_reading.isRunning()) {
        return;
    }
    m_reading.setFuture(QtConcurrent::run(&readPrintQueues, CompletedPerQueue));
}

void QueueWindow::display(const QueueSnapshot& snapshot)
{
    // The list is built anew; what the user had selected, closed and scrolled to is kept.
    QString selectedQueue;
    int selectedJob = -1;
    if (QTreeWidgetItem* current = m_tree->currentItem()) {
        selectedQueue = current->data(NameColumn, QueueRole).toString();
        selectedJob = current->data(NameColumn, JobRole).toInt();
    }
    const int scroll = m_tree->verticalScrollBar()->value();

    m_tree->setUpdatesEnabled(false);
    const QSignalBlocker blocker(m_tree); // the rebuild must not count as the user closing queues
    m_tree->clear();
    int jobCount = 0;
    for (const PrintQueue& queue : snapshot.queues) {
        QTreeWidgetItem* parent = queueItem(queue);
        for (const QueueJob& job : queue.jobs) {
            parent->addChild(jobItem(queue, job));
        }
        jobCount += int(queue.jobs.size());
        m_tree->addTopLevelItem(parent);
        parent->setExpanded(!m_collapsed.contains(queue.name));
        if (queue.name == selectedQueue && selectedJob == 0) {
            m_tree->setCurrentItem(parent);
        }
        for (int i = 0; i < parent->childCount(); ++i) {
            QTreeWidgetItem* child = parent->child(i);
            if (queue.name == selectedQueue && child->data(NameColumn, JobRole).toInt() == selectedJob) {
                m_tree->setCurrentItem(child);
            }
        }
    }
    m_tree->verticalScrollBar()->setValue(scroll);
    m_tree->setUpdatesEnabled(true);

    const QString at = snapshot.takenAt.time().toString(QStringLiteral("hh:mm:ss"));
    if (!snapshot.reachable) {
        m_status->setText(
            QStringLiteral("%1 - Sem acesso ao servidor de impressão %2: %3").arg(at, snapshot.server, snapshot.error));
        return;
    }
    m_status->setText(QStringLiteral("%1 - %2 fila(s), %3 trabalho(s) em %4")
                          .arg(at)
                          .arg(snapshot.queues.size())
                          .arg(jobCount)
                          .arg(snapshot.server));
}

} // namespace tollwatch
