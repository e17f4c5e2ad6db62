#include "ui/FilterDialog.h"

#include "data/Dataset.h"
#include "i18n/Language.h"
#include "ui/ErrorHandler.h"
#include "ui/WaitCursor.h"
#include "ui/WindowFile.h"
#include "ui/pages/JobsGrid.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

template<typename Widget>
Widget* named(Widget* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace

FilterDialog::FilterDialog(JobsGrid* grid, QWidget* parent)
    : QDialog(parent)
    , m_grid(grid)
{
    setObjectName(QStringLiteral("wwFilterDialog1"));
    setWindowTitle(QStringLiteral("Localizar Registros"));
    setModal(true);

    auto* layout = new QGridLayout(this);
    layout->addWidget(named(new QLabel(QStringLiteral("Campos:"), this), QStringLiteral("lbCampos")), 0, 0);
    m_fields = named(new QListWidget(this), QStringLiteral("FieldList"));
    // The grid's fields in the dataset's order.
    const QStringList shown = grid->visualFieldOrder();
    for (const Field* field : grid->dataset()->fields()) {
        if (shown.contains(field->fieldName())) {
            m_fields->addItem(field->fieldName());
        }
    }
    layout->addWidget(m_fields, 1, 0, 3, 1);

    auto* criterion = named(new QGroupBox(QStringLiteral("Critério"), this), QStringLiteral("gbCriterio"));
    auto* criterionLayout = new QGridLayout(criterion);
    m_byValue = named(new QRadioButton(QStringLiteral("Valor"), criterion), QStringLiteral("rbValor"));
    m_value = named(new QLineEdit(criterion), QStringLiteral("edValor"));
    m_byRange = named(new QRadioButton(QStringLiteral("Faixa"), criterion), QStringLiteral("rbFaixa"));
    m_from = named(new QLineEdit(criterion), QStringLiteral("edDe"));
    m_to = named(new QLineEdit(criterion), QStringLiteral("edAte"));
    m_byValue->setChecked(true);
    criterionLayout->addWidget(m_byValue, 0, 0);
    criterionLayout->addWidget(m_value, 0, 1, 1, 3);
    criterionLayout->addWidget(m_byRange, 1, 0);
    criterionLayout->addWidget(named(new QLabel(QStringLiteral("De:"), criterion), QStringLiteral("lbDe")), 1, 1);
    criterionLayout->addWidget(m_from, 1, 2, 1, 2);
    criterionLayout->addWidget(named(new QLabel(QStringLiteral("Até:"), criterion), QStringLiteral("lbAte")), 2, 1);
    criterionLayout->addWidget(m_to, 2, 2, 1, 2);
    layout->addWidget(criterion, 1, 1);

    auto* matching = named(new QGroupBox(QStringLiteral("Comparação"), this), QStringLiteral("gbComparacao"));
    auto* matchingLayout = new QVBoxLayout(matching);
    m_anywhere = named(new QRadioButton(QStringLiteral("Em qualquer parte do campo"), matching),
                       QStringLiteral("rbQualquerParte"));
    m_start = named(new QRadioButton(QStringLiteral("No início do campo"), matching), QStringLiteral("rbInicio"));
    m_exact = named(new QRadioButton(QStringLiteral("Valor exato"), matching), QStringLiteral("rbExato"));
    m_caseSensitive = named(new QCheckBox(QStringLiteral("Diferenciar maiúsculas e minúsculas"), matching),
                            QStringLiteral("cbMaiusculas"));
    m_nonMatching = named(new QCheckBox(QStringLiteral("Mostrar os registros que não atendem"), matching),
                          QStringLiteral("cbNaoAtendem"));
    m_anywhere->setChecked(true);
    for (QWidget* option :
         std::initializer_list<QWidget*>{ m_anywhere, m_start, m_exact, m_caseSensitive, m_nonMatching }) {
        matchingLayout->addWidget(option);
    }
    layout->addWidget(matching, 2, 1);
    auto* hint = named(
        new QLabel(QStringLiteral("Datas como dd/mm/aaaa; % para qualquer texto; \"or\", \"and\", \"null\"."), this),
        QStringLiteral("lbDica"));
    hint->setWordWrap(true);
    layout->addWidget(hint, 3, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = named(new QPushButton(QStringLiteral("OK"), buttons), QStringLiteral("OkButton"));
    QPushButton* clear = named(new QPushButton(QStringLiteral("Limpar"), buttons), QStringLiteral("ClearButton"));
    QPushButton* cancel = named(new QPushButton(QStringLiteral("Cancelar"), buttons), QStringLiteral("CancelButton"));
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(clear, QDialogButtonBox::ResetRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    layout->addWidget(buttons, 4, 0, 1, 2);

    // The dialog opens on the criteria the grid shows now.
    const RowFilter& current = grid->rowFilter();
    for (const RowFilter::Criterion& kept : current.criteria()) {
        m_criteria.insert(kept.fieldName, kept);
    }
    setOptions(current.options());

    connect(m_fields, &QListWidget::currentTextChanged, this, [this] {
        keepCriterion();
        showCriterion();
    });
    connect(ok, &QPushButton::clicked, this, ErrorHandler::guarded([this] {
                applyToGrid();
                accept();
            }));
    connect(clear, &QPushButton::clicked, this, [this] { clearCriteria(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (m_fields->count() > 0) {
        m_fields->setCurrentRow(0);
    }
    resize(560, 380);
}

void FilterDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    QDialog::showEvent(event);
}

QString FilterDialog::currentField() const
{
    const QListWidgetItem* item = m_fields->currentItem();
    return item ? item->text() : QString();
}

RowFilter::Criterion FilterDialog::typedCriterion() const
{
    RowFilter::Criterion criterion;
    criterion.fieldName = m_shownField;
    if (m_byValue->isChecked()) {
        criterion.value = m_value->text();
    } else {
        criterion.rangeFrom = m_from->text();
        criterion.rangeTo = m_to->text();
    }
    return criterion;
}

void FilterDialog::keepCriterion()
{
    if (!m_showing && !m_shownField.isEmpty()) {
        m_criteria.insert(m_shownField, typedCriterion());
    }
}

void FilterDialog::showCriterion()
{
    m_showing = true;
    m_shownField = currentField();
    const RowFilter::Criterion criterion = m_criteria.value(m_shownField);
    const bool isRange = criterion.value.isEmpty() && (!criterion.rangeFrom.isEmpty() || !criterion.rangeTo.isEmpty());
    (isRange ? m_byRange : m_byValue)->setChecked(true);
    m_value->setText(criterion.value);
    m_from->setText(criterion.rangeFrom);
    m_to->setText(criterion.rangeTo);
    m_showing = false;
}

void FilterDialog::setValue(const QString& fieldName, const QString& value)
{
    keepCriterion();
    m_criteria.insert(fieldName, RowFilter::Criterion{ fieldName, value, QString(), QString() });
    showCriterion();
}

void FilterDialog::setRange(const QString& fieldName, const QString& from, const QString& to)
{
    keepCriterion();
    m_criteria.insert(fieldName, RowFilter::Criterion{ fieldName, QString(), from, to });
    showCriterion();
}

void FilterDialog::setOptions(const RowFilter::Options& options)
{
    switch (options.match) {
        case RowFilter::Match::Anywhere:
            m_anywhere->setChecked(true);
            break;
        case RowFilter::Match::Exact:
            m_exact->setChecked(true);
            break;
        case RowFilter::Match::Start:
            m_start->setChecked(true);
            break;
    }
    m_caseSensitive->setChecked(options.caseSensitive);
    m_nonMatching->setChecked(options.nonMatching);
}

RowFilter FilterDialog::filter() const
{
    QHash<QString, RowFilter::Criterion> typed = m_criteria;
    if (!m_shownField.isEmpty()) {
        typed.insert(m_shownField, typedCriterion());
    }
    RowFilter::Options options;
    options.match = m_exact->isChecked()   ? RowFilter::Match::Exact
                    : m_start->isChecked() ? RowFilter::Match::Start
                                           : RowFilter::Match::Anywhere;
    options.caseSensitive = m_caseSensitive->isChecked();
    options.nonMatching = m_nonMatching->isChecked();
    QList<RowFilter::Criterion> criteria;
    for (int row = 0; row < m_fields->count(); ++row) {
        const QString name = m_fields->item(row)->text();
        if (typed.contains(name)) {
            criteria << typed.value(name);
        }
    }
    return RowFilter(criteria, options);
}

void FilterDialog::applyToGrid()
{
    const WaitCursor waiting;
    m_grid->applyFilter(filter());
}

void FilterDialog::clearCriteria()
{
    m_criteria.clear();
    showCriterion();
}

} // namespace tollbook
