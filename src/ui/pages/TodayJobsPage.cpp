#include "ui/pages/TodayJobsPage.h"

#include "data/Catalogue.h"
#include "platform/Clock.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/GridModel.h"
#include "ui/WaitCursor.h"
#include "ui/pages/GridColumns.h"
#include "ui/pages/JobsGrid.h"
#include "ui/widgets/ActivityIndicator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

// The control grid puts the delivery first and the day after the paper.
const QStringList ControlColumnOrder = {
    "Print_Entregue", "Print_Hora", "Print_Document", "Usuario_Id", "Print_Pages", "Computer_Id", "calc_Custo",
    "Print_Color",    "lk_Papel",   "Print_Data",     "Print_Name", "Print_Drive", "Print_Id",    "Projeto_Id",
};

} // namespace

TodayJobsPage::TodayJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Controle de Impressão"), parent)
    , m_dataset(presented(datasets->todayJobs, GridColumns::jobs()))
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel* bar = createViewToolBar(QStringLiteral("Panel3"), this);
    auto* barLayout = static_cast<QHBoxLayout*>(bar->layout());
    QToolButton* mark =
        createViewButton(QStringLiteral("SpeedButton5"), QStringLiteral("Marcar registro selecionado como entregue"),
                         style()->standardIcon(QStyle::SP_DialogApplyButton), bar);
    m_btnRControle = createViewButton(QStringLiteral("btnRControle"), QStringLiteral("Atualizar"),
                                      style()->standardIcon(QStyle::SP_BrowserReload), bar);
    barLayout->addWidget(mark);
    barLayout->addWidget(m_btnRControle);
    barLayout->addStretch(1);
    auto* monitoring = new QLabel(QStringLiteral("Monitorando Impressões"), bar);
    monitoring->setObjectName(QStringLiteral("Label9"));
    barLayout->addWidget(monitoring);
    m_indicator = new ActivityIndicator(bar);
    m_indicator->setObjectName(QStringLiteral("ActivityIndicator1"));
    m_indicator->setToolTip(QStringLiteral("Capturando Impressão"));
    m_indicator->setFixedSize(24, 24);
    m_indicator->setColor(palette().color(QPalette::Highlight));
    barLayout->addWidget(m_indicator);
    layout->addWidget(bar);

    m_grid = new JobsGrid(m_model, QStringLiteral("wwDBGrid3"), ControlColumnOrder,
                          { QStringLiteral("Print_Entregue"), QStringLiteral("Print_Color") }, this);
    layout->addWidget(m_grid, 1);

    connect(mark, &QToolButton::clicked, this, ErrorHandler::guarded([this] { markDelivered(); }));
    connect(m_btnRControle, &QToolButton::clicked, this, ErrorHandler::guarded([this] { reload(); }));
}

void TodayJobsPage::reload()
{
    const WaitCursor waiting;
    const QDate today = Clock::today();
    if (m_dataset->isEditing()) {
        m_dataset->cancel();
    }
    // Read anew in place: the job the operator stands on stays current, and is marked as the database says.
    m_dataset->setParam(QStringLiteral("Data"), today);
    try {
        m_dataset->refresh();
    } catch (...) {
        m_dataset->close();
        Q_EMIT reloaded();
        throw;
    }
    Q_EMIT reloaded();
}

void TodayJobsPage::markDelivered()
{
    if (!m_dataset->isOpen() || m_dataset->isEmpty() || m_dataset->recNo() < 0) {
        return;
    }
    m_dataset->edit();
    try {
        m_dataset->fieldByName(QStringLiteral("Print_Entregue"))->setValue(QStringLiteral("S"));
        m_dataset->post();
    } catch (...) {
        // The refused mark is not left pending: the monitoring tick does not add rows to a dataset being edited.
        m_dataset->cancel();
        throw;
    }
}

void TodayJobsPage::setMonitoring(bool on)
{
    m_indicator->setAnimating(on);
}

bool TodayJobsPage::isMonitoringShown() const
{
    return m_indicator->isAnimating();
}

} // namespace tollbook
