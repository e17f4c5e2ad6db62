#include "Catalogue.h"

#include "CostRules.h"
#include "RegistryRules.h"

namespace tollbook {

namespace {

using Lines = QStringList;

Dataset* makeDataset(const QString& name, const Lines& sql, QObject* owner)
{
    auto* dataset = new Dataset(name, owner);
    dataset->setSql(sql);
    return dataset;
}

void periodParams(Dataset* dataset, const QString& start, const QString& end)
{
    dataset->setParamType(start, FieldType::DateTime);
    dataset->setParamType(end, FieldType::DateTime);
}

struct JobColumn
{
    const char* name;
    FieldType type;
    int size;
};

// The columns of Impressao, in table order.
const QList<JobColumn>& jobColumns()
{
    static const QList<JobColumn> columns = {
        { "Print_Id", FieldType::AutoInc, 0 },          { "Print_Name", FieldType::String, 100 },
        { "Print_Drive", FieldType::String, 100 },      { "Print_Port", FieldType::String, 50 },
        { "Print_Data", FieldType::DateTime, 0 },       { "Print_Hora", FieldType::DateTime, 0 },
        { "Usuario_Id", FieldType::String, 50 },        { "Print_Pages", FieldType::Integer, 0 },
        { "Print_Document", FieldType::String, 255 },   { "Print_Entregue", FieldType::String, 1 },
        { "Computer_Id", FieldType::String, 50 },       { "dmPaperSize", FieldType::Integer, 0 },
        { "Print_Color", FieldType::String, 1 },        { "Print_Duplex", FieldType::String, 1 },
        { "Print_PaperLength", FieldType::Integer, 0 }, { "Print_PaperWidth", FieldType::Integer, 0 },
        { "Projeto_Id", FieldType::Integer, 0 },
    };
    return columns;
}

const JobColumn& jobColumn(const QString& name)
{
    for (const JobColumn& column : jobColumns()) {
        if (name == QLatin1String(column.name)) {
            return column;
        }
    }
    Q_UNREACHABLE();
}

// A data field for every Impressao column, the prices, the paper name and the cost, in the order the
// print views show them. Captions, widths and formats are the views'.
void addJobRowFields(Dataset* dataset, Dataset* papel)
{
    static const QList<const char*> order = {
        "Print_Data", "Print_Hora",  "Print_Document", "Usuario_Id",     "Print_Pages",       "Computer_Id",
        "calc_Custo", "Print_Color", "lk_Papel",       "Print_Entregue", "Print_Name",        "Print_Drive",
        "Print_Id",   "Projeto_Id",  "dmPaperSize",    "Print_Duplex",   "Print_PaperLength", "Print_PaperWidth",
        "Print_Port", "Custo_Mono",  "Custo_Color",
    };
    for (const char* shown : order) {
        const QString name = QString::fromLatin1(shown);
        Field* field = nullptr;
        if (name == QLatin1String("calc_Custo")) {
            field = dataset->addCalculatedField(name, FieldType::Currency);
        } else if (name == QLatin1String("lk_Papel")) {
            field = dataset->addLookupField(name, 30, papel, QStringLiteral("dmPaperSize"),
                                            QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
        } else if (name.startsWith(QLatin1String("Custo_"))) {
            field = dataset->addDataField(name, FieldType::Currency);
        } else {
            const JobColumn& column = jobColumn(name);
            field = dataset->addDataField(name, column.type, column.size);
        }
        if (name == QLatin1String("Print_Color") || name == QLatin1String("Print_Entregue") ||
            name == QLatin1String("Print_Duplex")) {
            field->setFlag(true);
        }
    }
    CostRules::bindDetail(*dataset);
}

void addFields(Dataset* dataset, const QList<JobColumn>& columns)
{
    for (const JobColumn& column : columns) {
        dataset->addDataField(QString::fromLatin1(column.name), column.type, column.size);
    }
}

Dataset* pricedJobDataset(const QString& name, const Lines& tail, Dataset* papel, QObject* owner)
{
    Dataset* dataset = makeDataset(name, Catalogue::pricedJobSelect() + tail, owner);
    addJobRowFields(dataset, papel);
    return dataset;
}

// The configuration dialog's fields carry its captions until the dialog exists to hold them.
Field* addLabelled(Dataset* dataset, const char* name, FieldType type, int size, const char* label, int width)
{
    Field* field = dataset->addDataField(QString::fromLatin1(name), type, size);
    field->setDisplayLabel(QString::fromUtf8(label)).setDisplayWidth(width);
    return field;
}

void addSummaryCostFields(Dataset* dataset)
{
    dataset->addDataField(QStringLiteral("Print_Color"), FieldType::String, 1);
    dataset->addDataField(QStringLiteral("Print_Pages"), FieldType::Float);
    dataset->addDataField(QStringLiteral("Custo_Mono"), FieldType::Currency);
    dataset->addDataField(QStringLiteral("Custo_Color"), FieldType::Currency);
    dataset->addCalculatedField(QStringLiteral("calc_Custo"), FieldType::Currency);
    CostRules::bindSummary(*dataset);
}

} // namespace

QStringList Catalogue::pricedJobSelect()
{
    return {
        QStringLiteral("select  Impressao.*, CustoImpressao.Custo_Mono, CustoImpressao.Custo_Color   "),
        QStringLiteral("from Impressao"),
        QStringLiteral("left join CustoImpressao on (Impressao.Print_Name = CustoImpressao.Print_Name "),
        QStringLiteral("AND Impressao.dmPaperSize = CustoImpressao.dmPaperSize)"),
    };
}

DataModuleDatasets::DataModuleDatasets(QObject* parent)
    : QObject(parent)
    , SQL_Papel(makeDataset(QStringLiteral("SQL_Papel"), { QStringLiteral("select * from Papel") }, this))
    , SQL_Usuario(makeDataset(QStringLiteral("SQL_Usuario"), { QStringLiteral("select * from Usuario") }, this))
    , SQL_Configuracao(
          makeDataset(QStringLiteral("SQL_Configuracao"), { QStringLiteral("select * from Configuracao") }, this))
    , SQL_BuscaUsuario(makeDataset(
          QStringLiteral("SQL_BuscaUsuario"),
          { QStringLiteral("select distinct(usuario_id) from impressao"), QStringLiteral("order by usuario_id") },
          this))
    , SQL_BuscaPrint(makeDataset(
          QStringLiteral("SQL_BuscaPrint"),
          { QStringLiteral("select distinct(Print_Name) from impressao"), QStringLiteral("order by Print_Name") },
          this))
    , SQL_ImpUsuario(pricedJobDataset(
          QStringLiteral("SQL_ImpUsuario"),
          { QStringLiteral("where Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf"),
            QStringLiteral("order by Impressao.Usuario_id, Impressao.Print_Hora, Impressao.Print_Id") },
          SQL_Papel, this))
    , SQL_ImpSetor(makeDataset(
          QStringLiteral("SQL_ImpSetor"),
          { QStringLiteral(
                "select Impressao.*, Usuario.Setor_id, CustoImpressao.Custo_Mono, CustoImpressao.Custo_Color"),
            QStringLiteral("from (Impressao left join Usuario on Usuario.Usuario_Id = Impressao.Usuario_Id)"),
            QStringLiteral("left JOIN CustoImpressao ON Impressao.Print_Name = CustoImpressao.Print_Name AND "
                           "Impressao.dmPaperSize = CustoImpressao.dmPaperSize"),
            QStringLiteral("where Impressao.Print_Data >= :datai"),
            QStringLiteral("and Impressao.Print_data <= :dataf"),
            QStringLiteral(
                "order by Usuario.Setor_Id, Impressao.Usuario_Id, Impressao.Print_Hora, Impressao.Print_Id") },
          this))
    , SQL_ImpProjeto(makeDataset(
          QStringLiteral("SQL_ImpProjeto"),
          { QStringLiteral(
                "select Impressao.*, Projeto.Projeto_Nome, Projeto.Projeto_Codigo , CustoImpressao.Custo_Mono, "
                "CustoImpressao.Custo_Color"),
            QStringLiteral("from (Impressao left join Projeto on Projeto.Projeto_id = Impressao.Projeto_Id)"),
            QStringLiteral("left JOIN CustoImpressao ON Impressao.Print_Name = CustoImpressao.Print_Name AND "
                           "Impressao.dmPaperSize = CustoImpressao.dmPaperSize"),
            QStringLiteral("where Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf"),
            // Project codes are not unique: the project's id keeps each project's jobs together.
            QStringLiteral("order by Projeto.Projeto_Codigo, Impressao.Projeto_Id, Impressao.Usuario_Id, "
                           "Impressao.Print_Hora, Impressao.Print_Id") },
          this))
    , SQL_ImpUsuarioR(makeDataset(
          QStringLiteral("SQL_ImpUsuarioR"),
          { QStringLiteral("select Impressao.Usuario_Id,  Impressao.Print_Color,"),
            QStringLiteral("sum(Impressao.Print_Pages) as Print_Pages,"),
            QStringLiteral("sum(Impressao.Print_Pages * CustoImpressao.Custo_Mono) as Custo_Mono,"),
            QStringLiteral("sum(Impressao.Print_Pages * CustoImpressao.Custo_Color) as Custo_Color"),
            QStringLiteral("from (Impressao left join Usuario on Usuario.Usuario_Id = Impressao.Usuario_Id)"),
            QStringLiteral("left JOIN CustoImpressao ON Impressao.Print_Name = CustoImpressao.Print_Name AND "
                           "Impressao.dmPaperSize = CustoImpressao.dmPaperSize"),
            QStringLiteral("where Impressao.Print_Data >= :datai"),
            QStringLiteral("and Impressao.Print_data <= :dataf"),
            QStringLiteral("group by Impressao.Usuario_Id, Impressao.Print_Color"),
            QStringLiteral("order by  Impressao.Usuario_Id, Impressao.Print_Color") },
          this))
    , SQL_ImpSetorR(makeDataset(
          QStringLiteral("SQL_ImpSetorR"),
          { QStringLiteral("select  Usuario.Setor_id, Impressao.Print_Color,"),
            QStringLiteral("sum(Impressao.Print_Pages) as Print_Pages,"),
            QStringLiteral("sum(Impressao.Print_Pages * CustoImpressao.Custo_Mono) as Custo_Mono, "),
            QStringLiteral("sum(Impressao.Print_Pages * CustoImpressao.Custo_Color) as Custo_Color"),
            QStringLiteral("from (Impressao left join Usuario on Usuario.Usuario_Id = Impressao.Usuario_Id)"),
            QStringLiteral("left JOIN CustoImpressao ON Impressao.Print_Name = CustoImpressao.Print_Name AND "
                           "Impressao.dmPaperSize = CustoImpressao.dmPaperSize"),
            QStringLiteral("where Impressao.Print_Data >= :datai"),
            QStringLiteral("and Impressao.Print_data <= :dataf"),
            QStringLiteral("group by Usuario.Setor_id, Impressao.Print_Color"),
            QStringLiteral("order by Usuario.Setor_Id, Impressao.Print_Color") },
          this))
    // Every job of the period counts, also those of users missing from the registry (named by their
    // login), so that the summary adds up to the detailed project report. Projects are told apart by their
    // id, as their codes need not be unique; jobs of project 0 have no project row.
    , SQL_ImpProjetoR(makeDataset(
          QStringLiteral("SQL_ImpProjetoR"),
          { QStringLiteral(
                "SELECT Impressao.Projeto_Id, Projeto.Projeto_Codigo, Projeto.Projeto_Nome, Impressao.Usuario_Id, "
                "Impressao.dmPaperSize, Impressao.Print_Color, Sum(Impressao.Print_Pages) AS Print_Pages, "
                "Sum(Impressao.Print_Pages*CustoImpressao.Custo_Mono) AS Custo_Mono, "
                "Sum(Impressao.Print_Pages*CustoImpressao.Custo_Color) AS Custo_Color, "
                "coalesce(nullif(trim(Usuario.Usuario_Nome), ''), Impressao.Usuario_Id) AS Usuario_Nome"),
            QStringLiteral("FROM ((Impressao LEFT JOIN Projeto ON Impressao.Projeto_Id = Projeto.Projeto_Id) LEFT JOIN "
                           "CustoImpressao ON (Impressao.Print_Name = CustoImpressao.Print_Name) AND "
                           "(Impressao.dmPaperSize = CustoImpressao.dmPaperSize)) LEFT JOIN Usuario ON  "
                           "(Impressao.Usuario_Id = Usuario.Usuario_id)"),
            QStringLiteral("where Impressao.Print_Data >= :datai"),
            QStringLiteral("and Impressao.Print_data <= :dataf"),
            QStringLiteral("GROUP BY Impressao.Projeto_Id, Projeto.Projeto_Codigo, Projeto.Projeto_Nome, "
                           "Impressao.Usuario_Id, Usuario.Usuario_Nome, Impressao.dmPaperSize, Impressao.Print_Color"),
            QStringLiteral("ORDER BY Projeto.Projeto_Codigo, Impressao.Projeto_Id, Usuario_Nome, Impressao.Usuario_Id, "
                           "Impressao.dmPaperSize, Impressao.Print_Color") },
          this))
    , SQL_ImpPrint(
          makeDataset(QStringLiteral("SQL_ImpPrint"),
                      { QStringLiteral("SELECT Impressao.Usuario_Id, Impressao.Print_Name, "
                                       "Sum(Impressao.Print_Pages) AS Pages"),
                        QStringLiteral("FROM Impressao"), QStringLiteral("Where Impressao.Print_Data >= :DataI"),
                        QStringLiteral("AND Impressao.Print_Data <= :DataF"),
                        QStringLiteral("GROUP BY Impressao.Usuario_Id, Impressao.Print_Name"),
                        QStringLiteral("ORDER BY Impressao.Usuario_Id, Impressao.Print_Name") },
                      this))
    , SQL_ImpPrint2(makeDataset(
          QStringLiteral("SQL_ImpPrint2"),
          { QStringLiteral("SELECT Impressao.Print_Name, Sum(Impressao.Print_Pages) AS Pages"),
            QStringLiteral("FROM Impressao"), QStringLiteral("Where Impressao.Print_Data >= :DataI"),
            QStringLiteral("AND Impressao.Print_Data <= :DataF"), QStringLiteral("GROUP BY  Impressao.Print_Name"),
            QStringLiteral("ORDER BY Impressao.Print_Name") },
          this))
    , dsPapel(new DataSource(QStringLiteral("dsPapel"), SQL_Papel, this))
    , dsUsuario(new DataSource(QStringLiteral("dsUsuario"), SQL_Usuario, this))
    , dsConfiguracao(new DataSource(QStringLiteral("dsConfiguracao"), SQL_Configuracao, this))
    , dsBuscaUsuario(new DataSource(QStringLiteral("dsBuscaUsuario"), SQL_BuscaUsuario, this))
    , dsBuscaPrint(new DataSource(QStringLiteral("dsBuscaPrint"), SQL_BuscaPrint, this))
{
    addFields(SQL_Papel, { { "PaperName", FieldType::String, 255 },
                           { "dmPaperSize", FieldType::Float, 0 },
                           { "ID", FieldType::AutoInc, 0 } });

    addFields(SQL_Usuario, { { "usuario_id", FieldType::String, 50 },
                             { "Usuario_Nome", FieldType::String, 50 },
                             { "Usuario_Ativo", FieldType::String, 1 },
                             { "Setor_id", FieldType::String, 50 } });

    addFields(SQL_Configuracao, { { "Usuario_Login", FieldType::String, 30 },
                                  { "Usuario_Senha", FieldType::String, 15 },
                                  { "Usuario_Email", FieldType::String, 80 },
                                  { "SMTP_Host", FieldType::String, 100 },
                                  { "SMTP_Login", FieldType::String, 80 },
                                  { "SMTP_Senha", FieldType::String, 20 },
                                  { "SMTP_Porta", FieldType::Integer, 0 },
                                  { "SMTP_Autenticar", FieldType::String, 1 },
                                  { "Ativar_Login", FieldType::String, 1 },
                                  { "SMTP_HabilitarSSL", FieldType::String, 1 },
                                  { "SMTP_HabilitarTLS", FieldType::String, 1 },
                                  { "Versao_Sistema", FieldType::String, 20 } });

    SQL_BuscaUsuario->addDataField(QStringLiteral("usuario_id"), FieldType::String, 50);
    SQL_BuscaPrint->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);

    for (Dataset* dataset :
         { SQL_ImpUsuario, SQL_ImpSetor, SQL_ImpProjeto, SQL_ImpUsuarioR, SQL_ImpSetorR, SQL_ImpProjetoR }) {
        periodParams(dataset, QStringLiteral("datai"), QStringLiteral("dataf"));
    }
    periodParams(SQL_ImpPrint, QStringLiteral("DataI"), QStringLiteral("DataF"));
    periodParams(SQL_ImpPrint2, QStringLiteral("DataI"), QStringLiteral("DataF"));

    addJobRowFields(SQL_ImpSetor, SQL_Papel);
    SQL_ImpSetor->addDataField(QStringLiteral("Setor_id"), FieldType::String, 50);
    addJobRowFields(SQL_ImpProjeto, SQL_Papel);
    SQL_ImpProjeto->addDataField(QStringLiteral("Projeto_Nome"), FieldType::String, 50);
    SQL_ImpProjeto->addDataField(QStringLiteral("Projeto_Codigo"), FieldType::String, 50);

    SQL_ImpUsuarioR->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    addSummaryCostFields(SQL_ImpUsuarioR);
    SQL_ImpSetorR->addDataField(QStringLiteral("Setor_id"), FieldType::String, 50);
    addSummaryCostFields(SQL_ImpSetorR);
    SQL_ImpProjetoR->addDataField(QStringLiteral("Projeto_Id"), FieldType::Integer);
    SQL_ImpProjetoR->addDataField(QStringLiteral("Projeto_Codigo"), FieldType::String, 50);
    SQL_ImpProjetoR->addDataField(QStringLiteral("Projeto_Nome"), FieldType::String, 50);
    SQL_ImpProjetoR->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    SQL_ImpProjetoR->addDataField(QStringLiteral("Usuario_Nome"), FieldType::String, 50);
    SQL_ImpProjetoR->addDataField(QStringLiteral("dmPaperSize"), FieldType::Integer);
    SQL_ImpProjetoR->addLookupField(QStringLiteral("lk_Papel"), 30, SQL_Papel, QStringLiteral("dmPaperSize"),
                                    QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    addSummaryCostFields(SQL_ImpProjetoR);

    SQL_ImpPrint->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    SQL_ImpPrint->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);
    SQL_ImpPrint->addDataField(QStringLiteral("Pages"), FieldType::Float);
    SQL_ImpPrint2->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);
    SQL_ImpPrint2->addDataField(QStringLiteral("Pages"), FieldType::Float);

    for (Dataset* dataset : reportDatasets()) {
        const QString base = dataset->objectName().mid(4); // without "SQL_"
        new DataSource(QStringLiteral("ds") + base, dataset, this);
        // The reports show a job's day and time as the print views do; these go to the report rendering
        // when it comes.
        if (Field* day = dataset->findField(QStringLiteral("Print_Data"))) {
            day->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        }
        if (Field* hora = dataset->findField(QStringLiteral("Print_Hora"))) {
            hora->setDisplayFormat(QStringLiteral("hh:mm:ss"));
        }
    }
}

void DataModuleDatasets::openStartupDatasets()
{
    SQL_Papel->open();
    SQL_Usuario->open();
    SQL_Configuracao->open();
}

QList<Dataset*> DataModuleDatasets::reportDatasets() const
{
    return { SQL_ImpUsuario, SQL_ImpSetor,    SQL_ImpProjeto, SQL_ImpUsuarioR,
             SQL_ImpSetorR,  SQL_ImpProjetoR, SQL_ImpPrint,   SQL_ImpPrint2 };
}

MainWindowDatasets::MainWindowDatasets(DataModuleDatasets* dataModule, QObject* parent)
    : QObject(parent)
    , SQL_Controle(pricedJobDataset(QStringLiteral("SQL_Controle"),
                                    { QStringLiteral("where Impressao.Print_Data =  :Data"),
                                      QStringLiteral("order by Impressao.Print_Hora desc") },
                                    dataModule->SQL_Papel, this))
    , SQL_Impressao(
          pricedJobDataset(QStringLiteral("SQL_Impressao"),
                           { QStringLiteral("where Usuario_id = :Usuario_Id"),
                             QStringLiteral("and Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf") },
                           dataModule->SQL_Papel, this))
    , SQL_Data(
          pricedJobDataset(QStringLiteral("SQL_Data"),
                           { QStringLiteral("where Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf"),
                             QStringLiteral("order by Print_Data desc") },
                           dataModule->SQL_Papel, this))
    , SQL_Delete(makeDataset(QStringLiteral("SQL_Delete"),
                             { QStringLiteral("Delete  from impressao"), QStringLiteral("where Print_Id =:Print_Id") },
                             this))
    , SQL_Importa(makeDataset(QStringLiteral("SQL_Importa"), { QStringLiteral("select * from impressao") }, this))
    , SQL_Usuario(makeDataset(QStringLiteral("SQL_Usuario"),
                              { QStringLiteral("select * from Usuario"), QStringLiteral("order by Usuario_id") }, this))
    , SQL_Setor(makeDataset(QStringLiteral("SQL_Setor"),
                            { QStringLiteral("select * from setor"), QStringLiteral("order by setor_id") }, this))
    , SQL_Projeto(makeDataset(QStringLiteral("SQL_Projeto"), { QStringLiteral("select * from Projeto") }, this))
    , SQL_Impressora(makeDataset(QStringLiteral("SQL_Impressora"),
                                 { QStringLiteral("select * from Impressora"), QStringLiteral("order by Print_Name") },
                                 this))
    , SQL_Custo(
          makeDataset(QStringLiteral("SQL_Custo"),
                      { QStringLiteral("select * from CustoImpressao"),
                        QStringLiteral("where Print_Name =  :Print_Name"), QStringLiteral("order by dmPaperSize") },
                      this))
    , SQL_GraficoUsuario(
          makeDataset(QStringLiteral("SQL_GraficoUsuario"),
                      { QStringLiteral("select Usuario_Id , sum(Print_Pages) as Paginas"),
                        QStringLiteral(" from impressao"), QStringLiteral("where Print_Data >= :DataIni"),
                        QStringLiteral("and Print_Data <= :DataFim"), QStringLiteral("Group by Usuario_Id") },
                      this))
    , SQL_GraficoSetor(makeDataset(
          QStringLiteral("SQL_GraficoSetor"),
          { QStringLiteral("SELECT Setor.Setor_Id, sum( Impressao.Print_Pages ) as Paginas"),
            QStringLiteral("FROM (Setor INNER JOIN Usuario ON Setor.Setor_Id = Usuario.Setor_id) "),
            QStringLiteral("INNER JOIN Impressao ON Usuario.Usuario_id = Impressao.Usuario_Id"),
            QStringLiteral("where Impressao.Print_Data >=  :datai"),
            QStringLiteral("and Impressao.Print_data <=  :dataf"), QStringLiteral("group by Setor.Setor_Id") },
          this))
    , dsControle(new DataSource(QStringLiteral("dsControle"), SQL_Controle, this))
    , dsImpressao(new DataSource(QStringLiteral("dsImpressao"), SQL_Impressao, this))
    , dsData(new DataSource(QStringLiteral("dsData"), SQL_Data, this))
    , dsImporta(new DataSource(QStringLiteral("dsImporta"), SQL_Importa, this))
    , dsUsuario(new DataSource(QStringLiteral("dsUsuario"), SQL_Usuario, this))
    , dsSetor(new DataSource(QStringLiteral("dsSetor"), SQL_Setor, this))
    , DsProjeto(new DataSource(QStringLiteral("DsProjeto"), SQL_Projeto, this))
    , dsImpressora(new DataSource(QStringLiteral("dsImpressora"), SQL_Impressora, this))
    , dsCusto(new DataSource(QStringLiteral("dsCusto"), SQL_Custo, this))
    , dsGraficoUsuario(new DataSource(QStringLiteral("dsGraficoUsuario"), SQL_GraficoUsuario, this))
    , dsGraficoSetor(new DataSource(QStringLiteral("dsGraficoSetor"), SQL_GraficoSetor, this))
{
    SQL_Controle->setParamType(QStringLiteral("Data"), FieldType::DateTime);
    SQL_Impressao->setParamType(QStringLiteral("Usuario_Id"), FieldType::String);
    periodParams(SQL_Impressao, QStringLiteral("datai"), QStringLiteral("dataf"));
    periodParams(SQL_Data, QStringLiteral("datai"), QStringLiteral("dataf"));
    SQL_Delete->setParamType(QStringLiteral("Print_Id"), FieldType::Integer);

    // The import only appends: opening it reads no job.
    SQL_Importa->setAppendOnly(true);
    addFields(SQL_Importa, jobColumns());

    SQL_Usuario->addDataField(QStringLiteral("Usuario_id"), FieldType::String, 50)->setReadOnly(true);
    addFields(SQL_Usuario, { { "Usuario_Nome", FieldType::String, 50 },
                             { "Setor_id", FieldType::String, 50 },
                             { "Projeto_Id", FieldType::Integer, 0 } });
    SQL_Usuario->addDataField(QStringLiteral("Usuario_Ativo"), FieldType::String, 1)->setFlag(true);

    SQL_Setor->addDataField(QStringLiteral("Setor_Id"), FieldType::String, 50);

    addFields(SQL_Projeto, { { "Projeto_Codigo", FieldType::String, 50 },
                             { "Projeto_Nome", FieldType::String, 50 },
                             { "Projeto_Cliente", FieldType::String, 50 },
                             { "Projeto_Data", FieldType::DateTime, 0 },
                             { "Projeto_Id", FieldType::AutoInc, 0 } });

    SQL_Impressora->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);

    SQL_Custo->setParamType(QStringLiteral("Print_Name"), FieldType::String);
    SQL_Custo->addLookupField(QStringLiteral("lk_papel"), 30, dataModule->SQL_Papel, QStringLiteral("dmPaperSize"),
                              QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    addFields(SQL_Custo, { { "Custo_Mono", FieldType::Currency, 0 },
                           { "Custo_Color", FieldType::Currency, 0 },
                           { "dmPaperSize", FieldType::Integer, 0 },
                           { "Print_Name", FieldType::String, 100 } });
    SQL_Custo->setMasterSource(dsImpressora, { QStringLiteral("Print_Name") });

    periodParams(SQL_GraficoUsuario, QStringLiteral("DataIni"), QStringLiteral("DataFim"));
    SQL_GraficoUsuario->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    SQL_GraficoUsuario->addDataField(QStringLiteral("Paginas"), FieldType::Float);
    SQL_GraficoUsuario->addLookupField(QStringLiteral("lk_Usuario"), 30, SQL_Usuario, QStringLiteral("Usuario_Id"),
                                       QStringLiteral("Usuario_id"), QStringLiteral("Usuario_id"));

    periodParams(SQL_GraficoSetor, QStringLiteral("datai"), QStringLiteral("dataf"));
    SQL_GraficoSetor->addDataField(QStringLiteral("Setor_id"), FieldType::String, 50);
    SQL_GraficoSetor->addDataField(QStringLiteral("Paginas"), FieldType::Float);
    SQL_GraficoSetor->addLookupField(QStringLiteral("lk_Setor"), 40, SQL_Setor, QStringLiteral("Setor_id"),
                                     QStringLiteral("Setor_Id"), QStringLiteral("Setor_Id"));

    RegistryRules::install(*this);
}

void MainWindowDatasets::openRegistries()
{
    SQL_Usuario->open();
    SQL_Setor->open();
    SQL_Impressora->open();
    SQL_Custo->open();
    SQL_Projeto->open();
}

Dataset* Catalogue::createConfigurationDataset(QObject* owner)
{
    Dataset* dataset =
        makeDataset(QStringLiteral("SQL_Configuracao"), { QStringLiteral("select * from Configuracao") }, owner);
    addLabelled(dataset, "Usuario_Login", FieldType::String, 30, "Login", 0);
    addLabelled(dataset, "Usuario_Senha", FieldType::String, 15, "Senha", 0);
    addLabelled(dataset, "Usuario_Email", FieldType::String, 80, "Email", 0);
    addLabelled(dataset, "SMTP_Host", FieldType::String, 100, "SMTP Host", 0);
    addLabelled(dataset, "SMTP_Login", FieldType::String, 80, "SMTP Login", 0);
    addLabelled(dataset, "SMTP_Senha", FieldType::String, 20, "SMTP Senha", 0);
    addLabelled(dataset, "SMTP_Porta", FieldType::Integer, 0, "SMTP Porta", 0);
    addLabelled(dataset, "SMTP_Autenticar", FieldType::String, 1, "SMTP Autenticar", 0)->setFlag(true);
    addFields(dataset, { { "Ativar_Login", FieldType::String, 1 },
                         { "SMTP_HabilitarSSL", FieldType::String, 1 },
                         { "SMTP_HabilitarTLS", FieldType::String, 1 },
                         { "Versao_Sistema", FieldType::String, 20 } });
    return dataset;
}

Dataset* Catalogue::createPurgeCount(QObject* owner)
{
    Dataset* dataset = makeDataset(QStringLiteral("SQL_Conta"),
                                   { QStringLiteral("select count(*) as Total, max(Print_Id) as UltimoId"),
                                     QStringLiteral("from impressao"), QStringLiteral("where Print_Data >= :DataI"),
                                     QStringLiteral("AND Print_Data <= :DataF") },
                                   owner);
    periodParams(dataset, QStringLiteral("DataI"), QStringLiteral("DataF"));
    dataset->addDataField(QStringLiteral("Total"), FieldType::Integer);
    dataset->addDataField(QStringLiteral("UltimoId"), FieldType::Integer);
    return dataset;
}

Dataset* Catalogue::createPurgeStatement(QObject* owner)
{
    // The jobs counted, a batch at a time: none stored after the count, though of a day of the period.
    Dataset* dataset = makeDataset(
        QStringLiteral("SQL_Delete"),
        { QStringLiteral("Delete  from impressao"), QStringLiteral("where Print_Id in (select Print_Id from impressao"),
          QStringLiteral("where Print_Data >= :DataI"), QStringLiteral("AND Print_Data <= :DataF"),
          QStringLiteral("AND Print_Id <= :UltimoId"), QStringLiteral("limit :Lote)") },
        owner);
    periodParams(dataset, QStringLiteral("DataI"), QStringLiteral("DataF"));
    dataset->setParamType(QStringLiteral("UltimoId"), FieldType::Integer);
    dataset->setParamType(QStringLiteral("Lote"), FieldType::Integer);
    return dataset;
}

} // namespace tollbook
