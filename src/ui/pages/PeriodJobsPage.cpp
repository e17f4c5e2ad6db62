#include "ui/pages/PeriodJobsPage.h"

#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "platform/Clock.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/FilterDialog.h"
#include "ui/GridModel.h"
#include "ui/LocateDialog.h"
#include "ui/MessageBox.h"
#include "ui/RecordViewDialog.h"
#include "ui/WaitCursor.h"
#include "ui/pages/GridColumns.h"
#include "ui/pages/JobsGrid.h"
#include "ui/widgets/DatePicker.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

QIcon themed(const char* name, const QIcon& fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), fallback);
}

} // namespace

PeriodJobsPage::PeriodJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Impressão por Data"), parent)
    , m_datasets(datasets)
    , m_dataset(presented(datasets->periodJobs, GridColumns::jobs()))
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab3"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel* bar = createViewToolBar(QStringLiteral("Panel2"), this);
    auto* barLayout = static_cast<QHBoxLayout*>(bar->layout());
    auto* periodLabel = new QLabel(QStringLiteral("Período:"), bar);
    periodLabel->setObjectName(QStringLiteral("Label3"));
    barLayout->addWidget(periodLabel);
    m_start = new DatePicker(bar);
    m_start->setObjectName(QStringLiteral("wwdatai"));
    m_start->setToolTip(QStringLiteral("Data Inicial"));
    m_start->setDate(Clock::today());
    barLayout->addWidget(m_start);
    m_end = new DatePicker(bar);
    m_end->setObjectName(QStringLiteral("wwdataf"));
    m_end->setToolTip(QStringLiteral("Data Final"));
    m_end->setDate(Clock::today());
    barLayout->addWidget(m_end);

    QToolButton* reloadButton = createViewButton(QStringLiteral("btnRData"), QStringLiteral("Atualizar"),
                                                 style()->standardIcon(QStyle::SP_BrowserReload), bar);
    QToolButton* exportButton =
        createViewButton(QStringLiteral("SpeedButton6"), QStringLiteral("Exporta dados para o Excel"),
                         style()->standardIcon(QStyle::SP_DialogSaveButton), bar);
    barLayout->addWidget(reloadButton);
    barLayout->addWidget(exportButton);
    barLayout->addStretch(1);
    QToolButton* deleteButton = createViewButton(QStringLiteral("SpeedButton3"), QStringLiteral("Excluir Registro"),
                                                 style()->standardIcon(QStyle::SP_TrashIcon), bar);
    QToolButton* viewButton =
        createViewButton(QStringLiteral("SpeedButton7"), QStringLiteral("Visualizar Registro"),
                         themed("document-properties", style()->standardIcon(QStyle::SP_FileDialogContentsView)), bar);
    QToolButton* locateButton =
        createViewButton(QStringLiteral("SpeedButton8"), QStringLiteral("Localizar Registro"),
                         themed("edit-find", style()->standardIcon(QStyle::SP_FileDialogDetailedView)), bar);
    QToolButton* filterButton =
        createViewButton(QStringLiteral("SpeedButton9"), QStringLiteral("Filtrar Registro"),
                         themed("view-filter", style()->standardIcon(QStyle::SP_FileDialogListView)), bar);
    for (QToolButton* button : { deleteButton, viewButton, locateButton, filterButton }) {
        barLayout->addWidget(button);
    }
    layout->addWidget(bar);

    m_grid = new JobsGrid(m_model, QStringLiteral("wwDBGrid2"), {}, { QStringLiteral("Print_Color") }, this);
    layout->addWidget(m_grid, 1);

    connect(reloadButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { reload(); }));
    connect(exportButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { exportRows(); }));
    connect(deleteButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { deleteCurrent(); }));
    connect(viewButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { showRecordView(); }));
    connect(locateButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { showLocate(); }));
    connect(filterButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { showFilter(); }));
}

QString PeriodJobsPage::exportPath() const
{
    return m_installFolder + QStringLiteral("Tollbook_report.xlsx");
}

void PeriodJobsPage::reload()
{
    const WaitCursor waiting;
    const SuspendedViews suspended(m_dataset);
    m_dataset->close();
    m_dataset->setParam(QStringLiteral("datai"), m_start->date());
    m_dataset->setParam(QStringLiteral("dataf"), m_end->date());
    m_dataset->open();
}

void PeriodJobsPage::exportRows()
{
    const WaitCursor waiting;
    const QString path = exportPath();
    m_grid->exportTo(path);
    if (m_openFile) {
        m_openFile(path);
    }
}

void PeriodJobsPage::deleteCurrent()
{
    const MessageBox::Answer answer = MessageBox::show(
        BoxKind::Confirmation, Language::message(QStringLiteral("Consulta"), QStringLiteral("sMsgExcluir")),
        MessageBox::Buttons::YesNo, window());
    if (answer != MessageBox::Answer::Yes) {
        return;
    }
    // The job on screen: the grid's current row, which the filter may have left as the only one shown.
    qint64 jobId = 0;
    const int row = m_dataset->isOpen() ? m_grid->currentDatasetRow() : -1;
    if (row >= 0) {
        jobId = m_dataset->storedValue(row, m_dataset->fieldByName(QStringLiteral("Print_Id"))->index()).toLongLong();
    }
    Dataset* statement = m_datasets->jobDeletion;
    statement->setParam(QStringLiteral("Print_Id"), jobId);
    {
        const WaitCursor waiting;
        statement->execSql();
    }
    // The period now in the pickers, which may not be the one the rows were read with.
    reload();
}

void PeriodJobsPage::showRecordView()
{
    RecordViewDialog dialog(m_grid, window());
    dialog.exec();
}

void PeriodJobsPage::showLocate()
{
    LocateDialog dialog(m_grid, window());
    dialog.exec();
}

void PeriodJobsPage::showFilter()
{
    FilterDialog dialog(m_grid, window());
    dialog.exec();
}

} // namespace tollbook
