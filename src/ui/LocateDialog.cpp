#include "ui/LocateDialog.h"

#include "data/Dataset.h"
#include "i18n/Language.h"
#include "ui/ErrorHandler.h"
#include "ui/GridModel.h"
#include "ui/MessageBox.h"
#include "ui/RowFilter.h"
#include "ui/WindowFile.h"
#include "ui/pages/JobsGrid.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tollbook {

namespace {

QLabel* namedLabel(const QString& name, const QString& caption, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* namedButton(const QString& name, const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

LocateDialog::LocateDialog(JobsGrid* grid, QWidget* parent)
    : QDialog(parent)
    , m_grid(grid)
{
    setObjectName(QStringLiteral("wwLocateDialog1"));
    setWindowTitle(QStringLiteral("Locate Field Value"));
    setModal(true);

    auto* layout = new QGridLayout(this);
    layout->addWidget(namedLabel(QStringLiteral("lbCampos"), QStringLiteral("Campos:"), this), 0, 0);
    m_fields = new QListWidget(this);
    m_fields->setObjectName(QStringLiteral("FieldList"));
    // Every field the grid shows, by name.
    QStringList names = grid->visualFieldOrder();
    names.sort(Qt::CaseInsensitive);
    m_fields->addItems(names);
    if (m_fields->count() > 0) {
        m_fields->setCurrentRow(0);
    }
    layout->addWidget(m_fields, 1, 0, 1, 2);
    layout->addWidget(namedLabel(QStringLiteral("lbValor"), QStringLiteral("Valor:"), this), 2, 0);
    m_value = new QLineEdit(this);
    m_value->setObjectName(QStringLiteral("SearchValue"));
    layout->addWidget(m_value, 3, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* first = namedButton(QStringLiteral("FirstButton"), QStringLiteral("Primeiro"), buttons);
    QPushButton* next = namedButton(QStringLiteral("NextButton"), QStringLiteral("Próximo"), buttons);
    QPushButton* close = namedButton(QStringLiteral("CloseButton"), QStringLiteral("Fechar"), buttons);
    buttons->addButton(first, QDialogButtonBox::ActionRole);
    buttons->addButton(next, QDialogButtonBox::ActionRole);
    buttons->addButton(close, QDialogButtonBox::RejectRole);
    next->setDefault(true);
    layout->addWidget(buttons, 4, 0, 1, 2);

    connect(first, &QPushButton::clicked, this, ErrorHandler::guarded([this] { findFirst(); }));
    connect(next, &QPushButton::clicked, this, ErrorHandler::guarded([this] { findNext(); }));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    resize(320, 360);
}

void LocateDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    QDialog::showEvent(event);
}

bool LocateDialog::chooseField(const QString& fieldName)
{
    const QList<QListWidgetItem*> found = m_fields->findItems(fieldName, Qt::MatchFixedString);
    if (found.isEmpty()) {
        return false;
    }
    m_fields->setCurrentItem(found.first());
    return true;
}

int LocateDialog::findFrom(int shownRow) const
{
    const QListWidgetItem* chosen = m_fields->currentItem();
    Dataset* rows = m_grid->dataset();
    if (!chosen || !rows || !rows->isOpen() || !rows->findField(chosen->text())) {
        return -1;
    }
    // The grid shows the dataset's rows in its order. Flags by their letter, everything else as the grid
    // shows it: a date is found by "31/12/2019".
    const int found = rows->findRow(RowFilter::startingWith(chosen->text(), m_value->text()), shownRow - 1);
    return found < 0 ? -1 : m_grid->viewModel()->mapFromSource(m_grid->viewModel()->gridModel()->index(found, 0)).row();
}

bool LocateDialog::moveToMatch(int fromShownRow)
{
    const int found = findFrom(fromShownRow);
    if (found < 0) {
        MessageBox::show(BoxKind::Information,
                         Language::message(QStringLiteral("Consulta"), QStringLiteral("sMsgNaoLocalizado")),
                         MessageBox::Buttons::Ok, this);
        return false;
    }
    m_grid->showRow(found);
    return true;
}

bool LocateDialog::findFirst()
{
    return moveToMatch(0);
}

bool LocateDialog::findNext()
{
    return moveToMatch(m_grid->currentShownRow() + 1);
}

} // namespace tollbook
