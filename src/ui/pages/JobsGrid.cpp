#include "ui/pages/JobsGrid.h"

#include "data/Dataset.h"
#include "data/Formats.h"
#include "platform/IniFile.h"
#include "ui/ErrorHandler.h"
#include "ui/GridModel.h"
#include "ui/XlsxTable.h"
#include "ui/widgets/Panel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QToolButton>

namespace tollbook {

namespace {

const QString LayoutKey = QStringLiteral("Columns");
constexpr int MinimumColumnWidth = 36; // a check box and its margins
constexpr int CellPadding = 16;

XlsxTable::Kind exportKindOf(const Field& field)
{
    if (field.isFlag()) {
        return XlsxTable::Kind::Text;
    }
    switch (field.type()) {
        case FieldType::Integer:
        case FieldType::AutoInc:
            return XlsxTable::Kind::Integer;
        case FieldType::Float:
            return XlsxTable::Kind::Number;
        case FieldType::Currency:
            return XlsxTable::Kind::Money;
        case FieldType::DateTime:
            if (field.displayFormat().contains(QLatin1Char('h')) && !field.displayFormat().contains(QLatin1Char('d'))) {
                return XlsxTable::Kind::Time;
            }
            return field.displayFormat().contains(QLatin1Char('h')) ? XlsxTable::Kind::DateTime : XlsxTable::Kind::Date;
        default:
            return XlsxTable::Kind::Text;
    }
}

} // namespace

JobsViewModel::JobsViewModel(GridModel* source, const QStringList& checkBoxFields, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_source(source)
    , m_checkBoxFields(checkBoxFields)
{
    setSourceModel(source);
}

Dataset* JobsViewModel::dataset() const
{
    return m_source->dataset();
}

Field* JobsViewModel::fieldAt(int column) const
{
    return m_source->fieldAt(column);
}

QString JobsViewModel::moneyText(double amount)
{
    return QStringLiteral("R$ ") + Formats::formatNumber(amount, Formats::MoneyFormat);
}

QVariant JobsViewModel::data(const QModelIndex& index, int role) const
{
    const Field* field = fieldAt(mapToSource(index).column());
    if (field && field->isFlag() && !m_checkBoxFields.contains(field->fieldName())) {
        if (role == Qt::CheckStateRole) {
            return QVariant();
        }
        if (role == Qt::DisplayRole) {
            return QSortFilterProxyModel::data(index, Qt::EditRole);
        }
    }
    if (field && field->type() == FieldType::Currency && role == Qt::DisplayRole) {
        const QVariant amount = QSortFilterProxyModel::data(index, Qt::EditRole);
        return amount.isNull() ? QVariant() : QVariant(moneyText(amount.toDouble()));
    }
    return QSortFilterProxyModel::data(index, role);
}

Qt::ItemFlags JobsViewModel::flags(const QModelIndex& index) const
{
    return QSortFilterProxyModel::flags(index) & ~(Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
}

JobsGrid::JobsGrid(GridModel* model, const QString& objectName, const QStringList& columnOrder,
                   const QStringList& checkBoxFields, QWidget* parent)
    : QTableView(parent)
    , m_viewModel(new JobsViewModel(model, checkBoxFields, this))
{
    setObjectName(objectName);
    setModel(m_viewModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(true);
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);

    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter) | Qt::Alignment(Qt::TextWordWrap));
    header->setFixedHeight(2 * fontMetrics().lineSpacing() + 10); // titles on two lines
    header->setHighlightSections(false);

    // A width in characters holds that many digits: times and days are not cut.
    const int characterWidth =
        qMax(fontMetrics().averageCharWidth(), fontMetrics().horizontalAdvance(QLatin1Char('0')));
    for (int column = 0; column < model->columnCount(); ++column) {
        const Field* field = model->fieldAt(column);
        m_fieldNames << (field ? field->fieldName() : QString());
        const int characters = field ? field->displayWidth() : 0;
        setColumnWidth(column,
                       qMax(MinimumColumnWidth, (characters > 0 ? characters : 10) * characterWidth + CellPadding));
    }
    applyColumnOrder(columnOrder);

    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (m_syncing || !current.isValid()) {
            return;
        }
        const int row = m_viewModel->mapToSource(current).row();
        Dataset* rows = dataset();
        if (rows->isOpen() && row != rows->recNo() && row < rows->recordCount()) {
            ErrorHandler::reportingErrors([rows, row] { rows->moveTo(row); });
        }
    });
    connect(model->dataset(), &Dataset::currentRowChanged, this, [this] { followDataset(); });
    connect(m_viewModel, &QAbstractItemModel::modelReset, this, [this] { followDataset(); });
    connect(m_viewModel, &QAbstractItemModel::layoutChanged, this, [this] { followDataset(); });
    connect(m_viewModel, &QAbstractItemModel::rowsInserted, this, [this] { followDataset(); });
    connect(m_viewModel, &QAbstractItemModel::rowsRemoved, this, [this] { followDataset(); });
}

Dataset* JobsGrid::dataset() const
{
    return m_viewModel->dataset();
}

void JobsGrid::followDataset()
{
    Dataset* rows = dataset();
    if (!rows || m_syncing) {
        return;
    }
    const QModelIndex source = rows->recNo() >= 0 ? m_viewModel->gridModel()->index(rows->recNo(), 0) : QModelIndex();
    const QModelIndex shown = m_viewModel->mapFromSource(source);
    // No current job on screen (none yet after a read): the first job shown becomes current, so that what the buttons
    // act on is a row on screen (its change of row brings the grid here again).
    if (!shown.isValid() && rows->isOpen() && !rows->isEditing() && m_viewModel->rowCount() > 0) {
        const int first = m_viewModel->mapToSource(m_viewModel->index(0, 0)).row();
        if (first != rows->recNo()) {
            ErrorHandler::reportingErrors([rows, first] { rows->moveTo(first); });
            return;
        }
    }
    const int column = currentIndex().isValid() ? currentIndex().column() : horizontalHeader()->logicalIndex(0);
    m_syncing = true;
    if (shown.isValid()) {
        const QModelIndex target = m_viewModel->index(shown.row(), qMax(0, column));
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selectionModel()->clearSelection();
    }
    m_syncing = false;
}

void JobsGrid::applyFilter(const RowFilter& filter)
{
    Dataset* rows = dataset();
    rows->setFilter(filter.conditions(*rows));
    m_filter = filter;
    if (rows->isOpen()) {
        rows->refresh();
    }
}

bool JobsGrid::showDatasetRow(int row)
{
    const QModelIndex shown = m_viewModel->mapFromSource(m_viewModel->gridModel()->index(row, 0));
    if (!shown.isValid()) {
        return false;
    }
    dataset()->moveTo(row);
    followDataset();
    scrollTo(currentIndex());
    return true;
}

int JobsGrid::currentDatasetRow() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->isRowSelected(current.row(), QModelIndex())) {
        return -1;
    }
    return m_viewModel->mapToSource(current).row();
}

void JobsGrid::showRow(int shownRow)
{
    if (shownRow < 0 || shownRow >= m_viewModel->rowCount()) {
        return;
    }
    showDatasetRow(m_viewModel->mapToSource(m_viewModel->index(shownRow, 0)).row());
}

int JobsGrid::currentShownRow() const
{
    return currentDatasetRow() < 0 ? -1 : currentIndex().row();
}

int JobsGrid::shownRowCount() const
{
    return m_viewModel->rowCount();
}

int JobsGrid::logicalColumnOf(const QString& fieldName) const
{
    for (int column = 0; column < m_fieldNames.size(); ++column) {
        if (m_fieldNames.at(column).compare(fieldName, Qt::CaseInsensitive) == 0) {
            return column;
        }
    }
    return -1;
}

void JobsGrid::applyColumnOrder(const QStringList& order)
{
    QHeaderView* header = horizontalHeader();
    int position = 0;
    for (const QString& name : order) {
        const int logical = logicalColumnOf(name);
        if (logical < 0) {
            continue;
        }
        header->moveSection(header->visualIndex(logical), position++);
    }
}

QStringList JobsGrid::visualFieldOrder() const
{
    QStringList order;
    const QHeaderView* header = horizontalHeader();
    for (int position = 0; position < header->count(); ++position) {
        const int logical = header->logicalIndex(position);
        if (logical >= 0 && logical < m_fieldNames.size() && !header->isSectionHidden(logical)) {
            order << m_fieldNames.at(logical);
        }
    }
    return order;
}

int JobsGrid::columnWidth(const QString& fieldName) const
{
    const int logical = logicalColumnOf(fieldName);
    return logical < 0 ? -1 : QTableView::columnWidth(logical);
}

QString JobsGrid::layoutSection(const QString& gridName)
{
    return QStringLiteral("frmTBKPrincipal.") + gridName;
}

void JobsGrid::saveLayout(const QString& iniPath) const
{
    QStringList entries;
    for (const QString& name : visualFieldOrder()) {
        entries << name + QLatin1Char(':') + QString::number(columnWidth(name));
    }
    IniFile::writeValue(iniPath, layoutSection(objectName()), LayoutKey, entries.join(QLatin1Char(',')));
}

void JobsGrid::restoreLayout(const QString& iniPath)
{
    const QString saved = IniFile::readValue(iniPath, layoutSection(objectName()), LayoutKey);
    if (saved.isEmpty()) {
        return;
    }
    QStringList order;
    for (const QString& entry : saved.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        bool isNumber = false;
        const int width = entry.section(QLatin1Char(':'), 1, 1).toInt(&isNumber);
        const int logical = logicalColumnOf(name);
        if (logical < 0) {
            continue;
        }
        order << name;
        if (isNumber && width > 0) {
            setColumnWidth(logical, qBound(8, width, 4000));
        }
    }
    applyColumnOrder(order);
}

void JobsGrid::exportTo(const QString& path) const
{
    QList<int> logicalColumns;
    QList<XlsxTable::Column> columns;
    const int charWidth = qMax(1, fontMetrics().averageCharWidth());
    for (const QString& name : visualFieldOrder()) {
        const int logical = logicalColumnOf(name);
        const Field* field = m_viewModel->fieldAt(logical);
        if (!field) {
            continue;
        }
        logicalColumns << logical;
        columns << XlsxTable::Column{ m_viewModel->headerData(logical, Qt::Horizontal).toString(), exportKindOf(*field),
                                      qMax(4.0, double(QTableView::columnWidth(logical)) / charWidth) };
    }
    const Dataset* rows = dataset();
    const JobsViewModel* shown = m_viewModel;
    XlsxTable::write(path, QStringLiteral("Tollbook"), columns, shown->rowCount(), [&](int row, int column) {
        const int sourceRow = shown->mapToSource(shown->index(row, 0)).row();
        const Field* field = shown->fieldAt(logicalColumns.at(column));
        const QVariant& stored = rows->storedValue(sourceRow, field->index());
        // Amounts as the exact ten-thousandths the database keeps, texts as they are stored.
        return field->type() == FieldType::Currency ? stored : field->fromStored(stored);
    });
}

SuspendedViews::SuspendedViews(Dataset* dataset)
    : m_dataset(dataset)
{
    m_dataset->disableControls();
}

SuspendedViews::~SuspendedViews()
{
    m_dataset->enableControls();
}

Panel* createViewToolBar(const QString& objectName, QWidget* parent)
{
    auto* bar = new Panel(parent);
    bar->setObjectName(objectName);
    bar->setFixedHeight(33);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 6, 2);
    layout->setSpacing(4);
    return bar;
}

QToolButton* createViewButton(const QString& objectName, const QString& hint, const QIcon& icon, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setIcon(icon);
    button->setIconSize(QSize(20, 20));
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace tollbook
