#pragma once

#include "DataSource.h"
#include "Dataset.h"

#include <QObject>

// The named datasets of the application, with their SQL, parameters and fields. Members carry the names
// the windows, reports and language files know them by.
namespace tollbook {

// The data module's datasets: reference data, the configuration row, the registry completion's
// look-ups and the eight report datasets.
class DataModuleDatasets : public QObject
{
    Q_OBJECT

public:
    explicit DataModuleDatasets(QObject* parent = nullptr);

    // Opens what start-up needs, in order: SQL_Papel, SQL_Usuario, SQL_Configuracao.
    void openStartupDatasets();
    QList<Dataset*> reportDatasets() const;

    Dataset* const SQL_Papel;
    Dataset* const SQL_Usuario;
    Dataset* const SQL_Configuracao;
    Dataset* const SQL_BuscaUsuario;
    Dataset* const SQL_BuscaPrint;
    Dataset* const SQL_ImpUsuario;
    Dataset* const SQL_ImpSetor;
    Dataset* const SQL_ImpProjeto;
    Dataset* const SQL_ImpUsuarioR;
    Dataset* const SQL_ImpSetorR;
    Dataset* const SQL_ImpProjetoR;
    Dataset* const SQL_ImpPrint;
    Dataset* const SQL_ImpPrint2;

    DataSource* const dsPapel;
    DataSource* const dsUsuario;
    DataSource* const dsConfiguracao;
    DataSource* const dsBuscaUsuario;
    DataSource* const dsBuscaPrint;
};

// The main window's datasets: the print views, the import, the registries and the charts.
class MainWindowDatasets : public QObject
{
    Q_OBJECT

public:
    explicit MainWindowDatasets(DataModuleDatasets* dataModule, QObject* parent = nullptr);

    // Opens the registry datasets, in order: SQL_Usuario, SQL_Setor, SQL_Impressora, SQL_Custo (following
    // the first printer), SQL_Projeto.
    void openRegistries();

    Dataset* const SQL_Controle;
    Dataset* const SQL_Impressao;
    Dataset* const SQL_Data;
    Dataset* const SQL_Delete;
    Dataset* const SQL_Importa;
    Dataset* const SQL_Usuario;
    Dataset* const SQL_Setor;
    Dataset* const SQL_Projeto;
    Dataset* const SQL_Impressora;
    Dataset* const SQL_Custo;
    Dataset* const SQL_GraficoUsuario;
    Dataset* const SQL_GraficoSetor;

    DataSource* const dsControle;
    DataSource* const dsImpressao;
    DataSource* const dsData;
    DataSource* const dsImporta;
    DataSource* const dsUsuario;
    DataSource* const dsSetor;
    DataSource* const DsProjeto;
    DataSource* const dsImpressora;
    DataSource* const dsCusto;
    DataSource* const dsGraficoUsuario;
    DataSource* const dsGraficoSetor;
};

namespace Catalogue {

// The lines of SQL that read job rows with their page prices.
QStringList pricedJobSelect();

// The configuration dialog's own dataset over the configuration row.
Dataset* createConfigurationDataset(QObject* owner);
// The purge's count of the jobs of a period (DataI, DataF) and the highest Print_Id among them.
Dataset* createPurgeCount(QObject* owner);
// The purge's deletion of at most Lote jobs of the period (DataI, DataF) up to Print_Id UltimoId.
Dataset* createPurgeStatement(QObject* owner);

} // namespace Catalogue
} // namespace tollbook
