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
    , papers(makeDataset(QStringLiteral("SQL_Papel"), { QStringLiteral("select * from Papel") }, this))
    , users(makeDataset(QStringLiteral("SQL_Usuario"), { QStringLiteral("select * from Usuario") }, this))
    , configuration(
          makeDataset(QStringLiteral("SQL_Configuracao"), { QStringLiteral("select * from Configuracao") }, this))
    , knownUsers(makeDataset(
          QStringLiteral("SQL_BuscaUsuario"),
          { QStringLiteral("select distinct(usuario_id) from impressao"), QStringLiteral("order by usuario_id") },
          this))
    , knownPrinters(makeDataset(
          QStringLiteral("SQL_BuscaPrint"),
          { QStringLiteral("select distinct(Print_Name) from impressao"), QStringLiteral("order by Print_Name") },
          this))
    , userReport(pricedJobDataset(
          QStringLiteral("SQL_ImpUsuario"),
          { QStringLiteral("where Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf"),
            QStringLiteral("order by Impressao.Usuario_id, Impressao.Print_Hora, Impressao.Print_Id") },
          papers, this))
    , sectorReport(makeDataset(
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
    , projectReport(makeDataset(
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
    , userSummaryReport(makeDataset(
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
    , sectorSummaryReport(makeDataset(
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
    , projectSummaryReport(makeDataset(
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
    , userPrinterReport(
          makeDataset(QStringLiteral("SQL_ImpPrint"),
                      { QStringLiteral("SELECT Impressao.Usuario_Id, Impressao.Print_Name, "
                                       "Sum(Impressao.Print_Pages) AS Pages"),
                        QStringLiteral("FROM Impressao"), QStringLiteral("Where Impressao.Print_Data >= :DataI"),
                        QStringLiteral("AND Impressao.Print_Data <= :DataF"),
                        QStringLiteral("GROUP BY Impressao.Usuario_Id, Impressao.Print_Name"),
                        QStringLiteral("ORDER BY Impressao.Usuario_Id, Impressao.Print_Name") },
                      this))
    , printerReport(makeDataset(
          QStringLiteral("SQL_ImpPrint2"),
          { QStringLiteral("SELECT Impressao.Print_Name, Sum(Impressao.Print_Pages) AS Pages"),
            QStringLiteral("FROM Impressao"), QStringLiteral("Where Impressao.Print_Data >= :DataI"),
            QStringLiteral("AND Impressao.Print_Data <= :DataF"), QStringLiteral("GROUP BY  Impressao.Print_Name"),
            QStringLiteral("ORDER BY Impressao.Print_Name") },
          this))
    , papersSource(new DataSource(QStringLiteral("dsPapel"), papers, this))
    , usersSource(new DataSource(QStringLiteral("dsUsuario"), users, this))
    , configurationSource(new DataSource(QStringLiteral("dsConfiguracao"), configuration, this))
    , knownUsersSource(new DataSource(QStringLiteral("dsBuscaUsuario"), knownUsers, this))
    , knownPrintersSource(new DataSource(QStringLiteral("dsBuscaPrint"), knownPrinters, this))
{
    addFields(papers, { { "PaperName", FieldType::String, 255 },
                        { "dmPaperSize", FieldType::Float, 0 },
                        { "ID", FieldType::AutoInc, 0 } });

    addFields(users, { { "usuario_id", FieldType::String, 50 },
                       { "Usuario_Nome", FieldType::String, 50 },
                       { "Usuario_Ativo", FieldType::String, 1 },
                       { "Setor_id", FieldType::String, 50 } });

    addFields(configuration, { { "Usuario_Login", FieldType::String, 30 },
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

    knownUsers->addDataField(QStringLiteral("usuario_id"), FieldType::String, 50);
    knownPrinters->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);

    for (Dataset* dataset :
         { userReport, sectorReport, projectReport, userSummaryReport, sectorSummaryReport, projectSummaryReport }) {
        periodParams(dataset, QStringLiteral("datai"), QStringLiteral("dataf"));
    }
    periodParams(userPrinterReport, QStringLiteral("DataI"), QStringLiteral("DataF"));
    periodParams(printerReport, QStringLiteral("DataI"), QStringLiteral("DataF"));

    addJobRowFields(sectorReport, papers);
    sectorReport->addDataField(QStringLiteral("Setor_id"), FieldType::String, 50);
    addJobRowFields(projectReport, papers);
    projectReport->addDataField(QStringLiteral("Projeto_Nome"), FieldType::String, 50);
    projectReport->addDataField(QStringLiteral("Projeto_Codigo"), FieldType::String, 50);

    userSummaryReport->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    addSummaryCostFields(userSummaryReport);
    sectorSummaryReport->addDataField(QStringLiteral("Setor_id"), FieldType::String, 50);
    addSummaryCostFields(sectorSummaryReport);
    projectSummaryReport->addDataField(QStringLiteral("Projeto_Id"), FieldType::Integer);
    projectSummaryReport->addDataField(QStringLiteral("Projeto_Codigo"), FieldType::String, 50);
    projectSummaryReport->addDataField(QStringLiteral("Projeto_Nome"), FieldType::String, 50);
    projectSummaryReport->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    projectSummaryReport->addDataField(QStringLiteral("Usuario_Nome"), FieldType::String, 50);
    projectSummaryReport->addDataField(QStringLiteral("dmPaperSize"), FieldType::Integer);
    projectSummaryReport->addLookupField(QStringLiteral("lk_Papel"), 30, papers, QStringLiteral("dmPaperSize"),
                                         QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    addSummaryCostFields(projectSummaryReport);

    userPrinterReport->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    userPrinterReport->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);
    userPrinterReport->addDataField(QStringLiteral("Pages"), FieldType::Float);
    printerReport->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);
    printerReport->addDataField(QStringLiteral("Pages"), FieldType::Float);

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
    papers->open();
    users->open();
    configuration->open();
}

QList<Dataset*> DataModuleDatasets::reportDatasets() const
{
    return { userReport,          sectorReport,         projectReport,     userSummaryReport,
             sectorSummaryReport, projectSummaryReport, userPrinterReport, printerReport };
}

MainWindowDatasets::MainWindowDatasets(DataModuleDatasets* dataModule, QObject* parent)
    : QObject(parent)
    , todayJobs(pricedJobDataset(QStringLiteral("SQL_Controle"),
                                 { QStringLiteral("where Impressao.Print_Data =  :Data"),
                                   QStringLiteral("order by Impressao.Print_Hora desc") },
                                 dataModule->papers, this))
    , userJobs(
          pricedJobDataset(QStringLiteral("SQL_Impressao"),
                           { QStringLiteral("where Usuario_id = :Usuario_Id"),
                             QStringLiteral("and Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf") },
                           dataModule->papers, this))
    , periodJobs(
          pricedJobDataset(QStringLiteral("SQL_Data"),
                           { QStringLiteral("where Print_Data >= :datai"), QStringLiteral("and Print_data <= :dataf"),
                             QStringLiteral("order by Print_Data desc") },
                           dataModule->papers, this))
    , jobDeletion(makeDataset(QStringLiteral("SQL_Delete"),
                              { QStringLiteral("Delete  from impressao"), QStringLiteral("where Print_Id =:Print_Id") },
                              this))
    , jobImport(makeDataset(QStringLiteral("SQL_Importa"), { QStringLiteral("select * from impressao") }, this))
    , users(makeDataset(QStringLiteral("SQL_Usuario"),
                        { QStringLiteral("select * from Usuario"), QStringLiteral("order by Usuario_id") }, this))
    , sectors(makeDataset(QStringLiteral("SQL_Setor"),
                          { QStringLiteral("select * from setor"), QStringLiteral("order by setor_id") }, this))
    , projects(makeDataset(QStringLiteral("SQL_Projeto"), { QStringLiteral("select * from Projeto") }, this))
    , printers(makeDataset(QStringLiteral("SQL_Impressora"),
                           { QStringLiteral("select * from Impressora"), QStringLiteral("order by Print_Name") }, this))
    , printerPrices(
          makeDataset(QStringLiteral("SQL_Custo"),
                      { QStringLiteral("select * from CustoImpressao"),
                        QStringLiteral("where Print_Name =  :Print_Name"), QStringLiteral("order by dmPaperSize") },
                      this))
    , userChart(makeDataset(QStringLiteral("SQL_GraficoUsuario"),
                            { QStringLiteral("select Usuario_Id , sum(Print_Pages) as Paginas"),
                              QStringLiteral(" from impressao"), QStringLiteral("where Print_Data >= :DataIni"),
                              QStringLiteral("and Print_Data <= :DataFim"), QStringLiteral("Group by Usuario_Id") },
                            this))
    , sectorChart(makeDataset(QStringLiteral("SQL_GraficoSetor"),
                              { QStringLiteral("SELECT Setor.Setor_Id, sum( Impressao.Print_Pages ) as Paginas"),
                                QStringLiteral("FROM (Setor INNER JOIN Usuario ON Setor.Setor_Id = Usuario.Setor_id) "),
                                QStringLiteral("INNER JOIN Impressao ON Usuario.Usuario_id = Impressao.Usuario_Id"),
                                QStringLiteral("where Impressao.Print_Data >=  :datai"),
                                QStringLiteral("and Impressao.Print_data <=  :dataf"),
                                QStringLiteral("group by Setor.Setor_Id") },
                              this))
    , todayJobsSource(new DataSource(QStringLiteral("dsControle"), todayJobs, this))
    , userJobsSource(new DataSource(QStringLiteral("dsImpressao"), userJobs, this))
    , periodJobsSource(new DataSource(QStringLiteral("dsData"), periodJobs, this))
    , jobImportSource(new DataSource(QStringLiteral("dsImporta"), jobImport, this))
    , usersSource(new DataSource(QStringLiteral("dsUsuario"), users, this))
    , sectorsSource(new DataSource(QStringLiteral("dsSetor"), sectors, this))
    , projectsSource(new DataSource(QStringLiteral("DsProjeto"), projects, this))
    , printersSource(new DataSource(QStringLiteral("dsImpressora"), printers, this))
    , printerPricesSource(new DataSource(QStringLiteral("dsCusto"), printerPrices, this))
    , userChartSource(new DataSource(QStringLiteral("dsGraficoUsuario"), userChart, this))
    , sectorChartSource(new DataSource(QStringLiteral("dsGraficoSetor"), sectorChart, this))
{
    todayJobs->setParamType(QStringLiteral("Data"), FieldType::DateTime);
    userJobs->setParamType(QStringLiteral("Usuario_Id"), FieldType::String);
    periodParams(userJobs, QStringLiteral("datai"), QStringLiteral("dataf"));
    periodParams(periodJobs, QStringLiteral("datai"), QStringLiteral("dataf"));
    jobDeletion->setParamType(QStringLiteral("Print_Id"), FieldType::Integer);

    // The import only appends: opening it reads no job.
    jobImport->setAppendOnly(true);
    addFields(jobImport, jobColumns());

    users->addDataField(QStringLiteral("Usuario_id"), FieldType::String, 50)->setReadOnly(true);
    addFields(users, { { "Usuario_Nome", FieldType::String, 50 },
                       { "Setor_id", FieldType::String, 50 },
                       { "Projeto_Id", FieldType::Integer, 0 } });
    users->addDataField(QStringLiteral("Usuario_Ativo"), FieldType::String, 1)->setFlag(true);

    sectors->addDataField(QStringLiteral("Setor_Id"), FieldType::String, 50);

    addFields(projects, { { "Projeto_Codigo", FieldType::String, 50 },
                          { "Projeto_Nome", FieldType::String, 50 },
                          { "Projeto_Cliente", FieldType::String, 50 },
                          { "Projeto_Data", FieldType::DateTime, 0 },
                          { "Projeto_Id", FieldType::AutoInc, 0 } });

    printers->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100);

    printerPrices->setParamType(QStringLiteral("Print_Name"), FieldType::String);
    printerPrices->addLookupField(QStringLiteral("lk_papel"), 30, dataModule->papers, QStringLiteral("dmPaperSize"),
                                  QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    addFields(printerPrices, { { "Custo_Mono", FieldType::Currency, 0 },
                               { "Custo_Color", FieldType::Currency, 0 },
                               { "dmPaperSize", FieldType::Integer, 0 },
                               { "Print_Name", FieldType::String, 100 } });
    printerPrices->setMasterSource(printersSource, { QStringLiteral("Print_Name") });

    periodParams(userChart, QStringLiteral("DataIni"), QStringLiteral("DataFim"));
    userChart->addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    userChart->addDataField(QStringLiteral("Paginas"), FieldType::Float);
    userChart->addLookupField(QStringLiteral("lk_Usuario"), 30, users, QStringLiteral("Usuario_Id"),
                              QStringLiteral("Usuario_id"), QStringLiteral("Usuario_id"));

    periodParams(sectorChart, QStringLiteral("datai"), QStringLiteral("dataf"));
    sectorChart->addDataField(QStringLiteral("Setor_id"), FieldType::String, 50);
    sectorChart->addDataField(QStringLiteral("Paginas"), FieldType::Float);
    sectorChart->addLookupField(QStringLiteral("lk_Setor"), 40, sectors, QStringLiteral("Setor_id"),
                                QStringLiteral("Setor_Id"), QStringLiteral("Setor_Id"));

    RegistryRules::install(*this);
}

void MainWindowDatasets::openRegistries()
{
    users->open();
    sectors->open();
    printers->open();
    printerPrices->open();
    projects->open();
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
