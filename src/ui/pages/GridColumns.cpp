#include "ui/pages/GridColumns.h"

#include "data/Dataset.h"

namespace tollbook {

Dataset* presented(Dataset* dataset, const QList<GridColumn>& columns)
{
    for (const GridColumn& column : columns) {
        Field* field = dataset->findField(QString::fromLatin1(column.field));
        if (!field) {
            continue;
        }
        if (column.label && *column.label) {
            field->setDisplayLabel(QString::fromUtf8(column.label));
        }
        if (column.width > 0) {
            field->setDisplayWidth(column.width);
        }
        if (column.format) {
            field->setDisplayFormat(QString::fromLatin1(column.format));
        }
        field->setVisible(column.visible);
    }
    return dataset;
}

const QList<GridColumn>& GridColumns::jobs()
{
    static const QList<GridColumn> columns = {
        { "Print_Data", "Data", 10, "dd/MM/yyyy", true },
        { "Print_Hora", "Hora", 8, "hh:mm:ss", true },
        { "Print_Document", "Documento", 30, nullptr, true },
        { "Usuario_Id", "Usuário", 15, nullptr, true },
        { "Print_Pages", "Páginas", 7, nullptr, true },
        { "Computer_Id", "Computador", 20, nullptr, true },
        { "calc_Custo", "Custo", 10, nullptr, true },
        { "Print_Color", "Colorido", 1, nullptr, true },
        { "lk_Papel", "Papel", 20, nullptr, true },
        { "Print_Entregue", "Entregue", 7, nullptr, true },
        { "Print_Name", "Impressora", 30, nullptr, true },
        { "Print_Drive", "Drive", 30, nullptr, true },
        { "Print_Id", "Id", 10, nullptr, true },
        { "Projeto_Id", "Projeto", 10, nullptr, true },
        { "dmPaperSize", "Papel", 10, nullptr, false },
        { "Print_Duplex", "Duplex", 1, nullptr, false },
        { "Print_PaperLength", "Tamanho Papel", 10, nullptr, false },
        { "Print_PaperWidth", "Largura Papel", 10, nullptr, false },
        { "Print_Port", "Porta", 15, nullptr, false },
        { "Custo_Mono", nullptr, 20, nullptr, false },
        { "Custo_Color", nullptr, 20, nullptr, false },
    };
    return columns;
}

} // namespace tollbook
