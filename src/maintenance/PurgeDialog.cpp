#include "maintenance/PurgeDialog.h"

#include "data/Formats.h"
#include "data/JobPurge.h"
#include "i18n/Language.h"
#include "platform/Clock.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/WaitCursor.h"
#include "ui/WindowFile.h"
#include "ui/widgets/DatePicker.h"
#include "ui/widgets/Panel.h"

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace tollbook {

namespace {

const QString Section = QStringLiteral("Limpa");

// How long one batch should hold the database: short enough for the window to stay alive and for an import
// to get its turn, long enough that the batches' own cost stays small.
constexpr qint64 BatchMilliseconds = 100;
constexpr int FirstBatch = 2000;
constexpr int SmallestBatch = 200;
constexpr int LargestBatch = 200000;

QString countText(qint64 count)
{
    return Formats::formatNumber(double(count), QStringLiteral("###,##0"));
}

QString dayText(const QDate& date)
{
    return Formats::formatDate(date.isValid() ? date : JobPurge::zeroDate());
}

// Hides the progress bar one line high, keeping its place so that the pickers stay where they are.
void hideKeepingPlace(QProgressBar* progress)
{
    progress->setMaximumHeight(progress->fontMetrics().height() + 4);
    QSizePolicy keepPlace = progress->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    progress->setSizePolicy(keepPlace);
    progress->hide();
}

} // namespace

PurgeDialog::PurgeDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_purge(std::make_unique<JobPurge>())
    , m_groupBox1(new QGroupBox(QStringLiteral("Selecione o Período para Limpar a Base"), this))
    , m_label1(new QLabel(QStringLiteral("Data Inicial"), m_groupBox1))
    , m_label2(new QLabel(QStringLiteral("Data Final"), m_groupBox1))
    , m_wwDataRi(new DatePicker(m_groupBox1))
    , m_wwDataRf(new DatePicker(m_groupBox1))
    , m_progress(new QProgressBar(m_groupBox1))
    , m_button1(new QPushButton(QStringLiteral("Limpar"), this))
    , m_button2(new QPushButton(QStringLiteral("Fechar"), this))
{
    setObjectName(QStringLiteral("frmLimpa"));
    setWindowTitle(QStringLiteral("Manutenção da Base de Dados"));
    setModal(true);
    setFixedSize(262, 152);

    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label2->setObjectName(QStringLiteral("Label2"));
    // Empty at first: the zero date, which the pickers show as no date at all.
    for (DatePicker* picker : { m_wwDataRi, m_wwDataRf }) {
        picker->setMinimumDate(JobPurge::zeroDate());
        picker->setSpecialValueText(QStringLiteral(" "));
        picker->setDate(JobPurge::zeroDate());
        // Without a date chosen, the calendar opens on this month rather than on December 1899.
        picker->calendarWidget()->installEventFilter(this);
    }
    m_wwDataRi->setObjectName(QStringLiteral("wwDataRi"));
    m_wwDataRi->setToolTip(QStringLiteral("Data Inicial"));
    m_wwDataRf->setObjectName(QStringLiteral("wwDataRf"));
    m_wwDataRf->setToolTip(QStringLiteral("Data Final"));
    m_label1->setBuddy(m_wwDataRi);
    m_label2->setBuddy(m_wwDataRf);
    m_button1->setObjectName(QStringLiteral("Button1"));
    m_button2->setObjectName(QStringLiteral("Button2"));
    m_button1->setAutoDefault(false);
    m_button2->setAutoDefault(false);
    // Not a component of the window files: it shows numbers only.
    m_progress->setObjectName(QString());
    m_progress->setTextVisible(true);
    hideKeepingPlace(m_progress);

    auto* dates = new QGridLayout(m_groupBox1);
    dates->setContentsMargins(10, 8, 10, 10);
    dates->setHorizontalSpacing(12);
    dates->addWidget(m_label1, 0, 0);
    dates->addWidget(m_label2, 0, 1);
    dates->addWidget(m_wwDataRi, 1, 0);
    dates->addWidget(m_wwDataRf, 1, 1);
    dates->addWidget(m_progress, 2, 0, 1, 2);
    dates->setRowStretch(3, 1);

    auto* panel = new Panel(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(41);
    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(6, 4, 6, 4);
    buttons->addStretch();
    buttons->addWidget(m_button1);
    buttons->addWidget(m_button2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(4);
    layout->addWidget(m_groupBox1, 1);
    layout->addWidget(panel);

    setTabOrder(m_wwDataRi, m_wwDataRf);
    setTabOrder(m_wwDataRf, m_button1);
    setTabOrder(m_button1, m_button2);

    connect(m_button1, &QPushButton::clicked, this, &PurgeDialog::purge);
    connect(m_button2, &QPushButton::clicked, this, &PurgeDialog::reject);
}

PurgeDialog::~PurgeDialog() = default;

bool PurgeDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        for (DatePicker* picker : { m_wwDataRi, m_wwDataRf }) {
            if (watched == picker->calendarWidget() && picker->date() == JobPurge::zeroDate()) {
                const QDate today = Clock::today();
                picker->calendarWidget()->setCurrentPage(today.year(), today.month());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PurgeDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    QDialog::showEvent(event);
}

void PurgeDialog::reject()
{
    // Closed only once the batch under way, and those after it, are done.
    if (!m_purging) {
        QDialog::reject();
    }
}

void PurgeDialog::purge()
{
    if (m_purging) {
        return;
    }
    ErrorHandler::reportingErrors([this] { runPurge(); });
}

void PurgeDialog::runPurge()
{
    const QDate first = m_wwDataRi->date();
    const QDate last = m_wwDataRf->date();
    qint64 count = 0;
    {
        WaitCursor wait;
        count = m_purge->count(first, last);
    }
    const QString question = Language::format(Language::message(Section, QStringLiteral("sMsgExcluir1")),
                                              { countText(count), dayText(first), dayText(last) });
    if (MessageBox::show(BoxKind::Confirmation, question, MessageBox::Buttons::YesNo, this) !=
        MessageBox::Answer::Yes) {
        return;
    }

    {
        QScopedValueRollback<bool> purging(m_purging, true);
        WaitCursor wait;
        m_button1->setEnabled(false);
        m_button2->setEnabled(false);
        m_progress->setRange(0, int(std::min<qint64>(count, std::numeric_limits<int>::max())));
        m_progress->setValue(0);
        m_progress->setVisible(count > 0);
        const auto restore = qScopeGuard([this] {
            hideKeepingPlace(m_progress);
            m_button1->setEnabled(true);
            m_button2->setEnabled(true);
        });
        int batch = FirstBatch;
        QElapsedTimer timer;
        while (!m_purge->isDone()) {
            timer.start();
            m_purge->deleteNext(batch);
            const qint64 elapsed = std::max<qint64>(1, timer.elapsed());
            batch = int(std::clamp<qint64>(batch * BatchMilliseconds / elapsed, SmallestBatch, LargestBatch));
            showProgress();
            QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
    }
    const QString done =
        Language::format(Language::message(Section, QStringLiteral("sMsgExcluir2")), { countText(m_purge->deleted()) });
    MessageBox::show(BoxKind::Information, done, MessageBox::Buttons::Ok, this);
}

void PurgeDialog::showProgress()
{
    const qint64 deleted = m_purge->deleted();
    m_progress->setValue(int(std::min<qint64>(deleted, m_progress->maximum())));
    m_progress->setFormat(Language::format(Language::message(Section, QStringLiteral("sMsgExcluindo")),
                                           { countText(deleted), countText(m_purge->counted()) }));
}

} // namespace tollbook
