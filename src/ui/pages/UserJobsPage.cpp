#include "ui/pages/UserJobsPage.h"

#include "data/Catalogue.h"
#include "platform/Clock.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/GridModel.h"
#include "ui/WaitCursor.h"
#include "ui/pages/GridColumns.h"
#include "ui/pages/JobsGrid.h"
#include "ui/widgets/DatePicker.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

// The picker lists the user names only.
const QList<GridColumn> UserListColumns = {
    { "usuario_id", "Usuário", 40, nullptr, true },
    { "Usuario_Nome", "Nome", 0, nullptr, false },
    { "Usuario_Ativo", "Ativo", 0, nullptr, false },
    { "Setor_id", "Setor", 0, nullptr, false },
};

} // namespace

UserJobsPage::UserJobsPage(MainWindowDatasets* datasets, DataModuleDatasets* dataModule, QWidget* parent)
    : TabSheet(QStringLiteral("Impressão por Usuário"), parent)
    , m_dataset(presented(datasets->userJobs, GridColumns::jobs()))
    , m_model(new GridModel(m_dataset, this))
    , m_userListModel(new GridModel(presented(dataModule->users, UserListColumns), this))
{
    setObjectName(QStringLiteral("tab2"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel* bar = createViewToolBar(QStringLiteral("Panel1"), this);
    auto* barLayout = static_cast<QHBoxLayout*>(bar->layout());
    auto* userLabel = new QLabel(QStringLiteral("Usuário:"), bar);
    userLabel->setObjectName(QStringLiteral("Label2"));
    barLayout->addWidget(userLabel);

    // Any text may be typed, registered or not; the list drops down with the names that begin with it.
    m_userPicker = new QComboBox(bar);
    m_userPicker->setObjectName(QStringLiteral("DBLCUsuario"));
    m_userPicker->setToolTip(QStringLiteral("Usuário"));
    m_userPicker->setEditable(true);
    m_userPicker->setInsertPolicy(QComboBox::NoInsert);
    m_userPicker->setModel(m_userListModel);
    m_userPicker->setModelColumn(0);
    m_userPicker->setMinimumWidth(160);
    m_userPicker->lineEdit()->setClearButtonEnabled(true);
    m_userPicker->setCurrentIndex(-1);
    m_userPicker->completer()->setCompletionMode(QCompleter::PopupCompletion);
    m_userPicker->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    barLayout->addWidget(m_userPicker);
    // The registry is read anew by the monitoring cycle; what the user typed stays.
    connect(m_userListModel, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_typedUser = m_userPicker->currentText(); });
    connect(m_userListModel, &QAbstractItemModel::modelReset, this, [this] { m_userPicker->setEditText(m_typedUser); });

    m_start = new DatePicker(bar);
    m_start->setObjectName(QStringLiteral("wwDataUi"));
    m_start->setToolTip(QStringLiteral("Data Inicial"));
    m_start->setDate(Clock::today());
    barLayout->addWidget(m_start);
    m_end = new DatePicker(bar);
    m_end->setObjectName(QStringLiteral("wwDataUf"));
    m_end->setToolTip(QStringLiteral("Data Final"));
    m_end->setDate(Clock::today());
    barLayout->addWidget(m_end);

    QToolButton* reloadButton = createViewButton(QStringLiteral("btnRImpressao"), QStringLiteral("Atualizar"),
                                                 style()->standardIcon(QStyle::SP_BrowserReload), bar);
    QToolButton* exportButton =
        createViewButton(QStringLiteral("SpeedButton4"), QStringLiteral("Exporta dados para o Excel"),
                         style()->standardIcon(QStyle::SP_DialogSaveButton), bar);
    barLayout->addWidget(reloadButton);
    barLayout->addWidget(exportButton);
    barLayout->addStretch(1);
    layout->addWidget(bar);

    m_grid = new JobsGrid(m_model, QStringLiteral("wwDBGrid1"), {}, { QStringLiteral("Print_Color") }, this);
    layout->addWidget(m_grid, 1);

    connect(reloadButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { reload(); }));
    connect(exportButton, &QToolButton::clicked, this, ErrorHandler::guarded([this] { exportRows(); }));
}

QString UserJobsPage::exportPath() const
{
    return m_installFolder + QStringLiteral("report/Tollbook_Report.xlsx");
}

void UserJobsPage::reload()
{
    const QString user = m_userPicker->currentText();
    if (user.isEmpty()) {
        return;
    }
    const WaitCursor waiting;
    const SuspendedViews suspended(m_dataset);
    m_dataset->close();
    m_dataset->setParam(QStringLiteral("Usuario_Id"), user.trimmed());
    m_dataset->setParam(QStringLiteral("datai"), m_start->date());
    m_dataset->setParam(QStringLiteral("dataf"), m_end->date());
    m_dataset->open();
}

void UserJobsPage::exportRows()
{
    const WaitCursor waiting;
    const QString path = exportPath();
    m_grid->exportTo(path);
    if (m_openFile) {
        m_openFile(path);
    }
}

} // namespace tollbook
