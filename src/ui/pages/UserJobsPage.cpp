#include "ui/pages/UserJobsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"
#include "ui/pages/GridColumns.h"

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
    , m_dataset(presented(datasets->SQL_Impressao, GridColumns::jobs()))
    , m_model(new GridModel(m_dataset, this))
    , m_userListModel(new GridModel(presented(dataModule->SQL_Usuario, UserListColumns), this))
{
    setObjectName(QStringLiteral("tab2"));
}

} // namespace tollbook
