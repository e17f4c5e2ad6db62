#include "RegistryRules.h"

#include "Catalogue.h"
#include "RowStatement.h"
#include "i18n/Language.h"
#include "platform/Errors.h"

#include <memory>

namespace tollbook::RegistryRules {

namespace {

const QString Section = QStringLiteral("Consulta");

// The message of the current language, or the Portuguese text when the language file lacks the key: a
// refusal must never show an empty box.
QString message(const QString& key, const char* portuguese, const QStringList& values = {})
{
    QString text = Language::message(Section, key);
    if (text.isEmpty()) {
        text = QString::fromUtf8(portuguese);
    }
    return Language::format(text, values);
}

[[noreturn]] void refuseDelete()
{
    throw Refusal(message(QStringLiteral("sMsgNExcluir"), "Este registro não pode ser excluído."));
}

qint64 usersNaming(const Dataset& dataset, const QString& column, const QVariant& value)
{
    // The column's own collation decides, as the registries' joins do: "fin" names the sector "FIN".
    const std::unique_ptr<RowStatement> count = RowStatement::prepare(
        dataset.connectionName(), QStringLiteral("SELECT count(*) FROM Usuario WHERE %1 = ?").arg(column));
    count->bind(0, value);
    return count->step() ? count->integer(0) : 0;
}

void refuseUser(Dataset& users)
{
    if (users.fieldByName(QStringLiteral("Usuario_id"))->asString() == QLatin1String("Admin")) {
        refuseDelete();
    }
}

void refuseSectorEdit(Dataset& sectors)
{
    if (sectors.fieldByName(QStringLiteral("Setor_Id"))->asString() == QLatin1String("ADM")) {
        throw Refusal(message(QStringLiteral("sMsgNEditar"), "Este registro não pode ser alterado."));
    }
}

void refuseSectorDelete(Dataset& sectors)
{
    // The row as stored: a sector being renamed is deleted under the name its users still hold.
    const Field* id = sectors.fieldByName(QStringLiteral("Setor_Id"));
    const QString sector = sectors.isEditing() ? id->oldValue().toString() : id->asString();
    if (sector == QLatin1String("ADM")) {
        refuseDelete();
    }
    if (const qint64 users = usersNaming(sectors, QStringLiteral("Setor_id"), sector); users > 0) {
        throw Refusal(message(QStringLiteral("sMsgSetorEmUso"),
                              "O setor %s não pode ser excluído: %s usuário(s) pertencem a ele. Passe-os para "
                              "outro setor antes de excluí-lo.",
                              { sector, QString::number(users) }));
    }
}

// The users of the sector's old name take the new one, inside the post's savepoint. True when the name
// changed.
bool renameSectorOfUsers(Dataset& sectors)
{
    if (sectors.state() != Dataset::State::Edit) {
        return false;
    }
    const Field* id = sectors.fieldByName(QStringLiteral("Setor_Id"));
    const QVariant oldName = id->oldValue();
    const QVariant newName = id->value();
    if (oldName.isNull() || oldName.toString() == newName.toString()) {
        return false;
    }
    const std::unique_ptr<RowStatement> rename = RowStatement::prepare(
        sectors.connectionName(), QStringLiteral("UPDATE Usuario SET Setor_id = ? WHERE Setor_id = ?"));
    rename->bind(0, newName);
    rename->bind(1, oldName);
    rename->step();
    return true;
}

void refuseProjectDelete(Dataset& projects)
{
    const Field* id = projects.fieldByName(QStringLiteral("Projeto_Id"));
    const QVariant project = projects.isEditing() ? id->oldValue() : id->value();
    if (!project.isNull() && project.toLongLong() == 1) {
        refuseDelete();
    }
    if (project.isNull()) {
        return; // a row never stored: nobody names it
    }
    if (const qint64 users = usersNaming(projects, QStringLiteral("Projeto_Id"), project); users > 0) {
        QString name = projects.fieldByName(QStringLiteral("Projeto_Codigo"))->asString();
        if (name.isEmpty()) {
            name = project.toString();
        }
        throw Refusal(message(QStringLiteral("sMsgProjetoEmUso"),
                              "O projeto %s não pode ser excluído: %s usuário(s) estão ligados a ele. Ligue-os a "
                              "outro projeto antes de excluí-lo.",
                              { name, QString::number(users) }));
    }
}

void refuseNegativePrice(Dataset& prices)
{
    for (const char* column : { "Custo_Mono", "Custo_Color" }) {
        const Field* price = prices.fieldByName(QLatin1String(column));
        if (!price->isNull() && price->asCurrencyUnits() < 0) {
            throw Refusal(message(QStringLiteral("sMsgPrecoNegativo"), "O valor por página não pode ser negativo."));
        }
    }
}

} // namespace

void install(MainWindowDatasets& datasets)
{
    datasets.users->beforeDelete = refuseUser;
    datasets.users->beforeInsert = [](Dataset&) {
        throw Refusal(message(QStringLiteral("sMsgNIncluir"),
                              "Os usuários são cadastrados pela captura de impressões e não podem ser incluídos "
                              "aqui."));
    };
    datasets.sectors->beforeEdit = refuseSectorEdit;
    datasets.sectors->beforeDelete = refuseSectorDelete;
    // The users grid shows the new name once it is stored; a row being edited there keeps its place and is
    // written by its key, so it loses nothing by showing the old name until then.
    auto renamed = std::make_shared<bool>(false);
    datasets.sectors->afterWrite = [renamed](Dataset& sectors) { *renamed = renameSectorOfUsers(sectors) || *renamed; };
    Dataset* users = datasets.users;
    QObject::connect(datasets.sectors, &Dataset::stateChanged, users, [renamed, users](Dataset::State state) {
        if (state != Dataset::State::Browse || !*renamed) {
            return;
        }
        *renamed = false;
        if (users->isOpen() && !users->isEditing()) {
            users->refresh();
        }
    });
    datasets.projects->beforeDelete = refuseProjectDelete;
    datasets.printers->beforeDelete = [](Dataset&) { refuseDelete(); };
    datasets.printerPrices->beforePost = refuseNegativePrice;
}

} // namespace tollbook::RegistryRules
