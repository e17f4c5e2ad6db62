#include "ui/RecordViewDialog.h"

#include "data/Dataset.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "ui/ErrorHandler.h"
#include "ui/RowFilter.h"
#include "ui/WindowFile.h"
#include "ui/pages/JobsGrid.h"
#include "ui/widgets/Panel.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

constexpr int PageRows = 10;

struct NavigatorButton
{
    const char* name;
    const char* hint;
    QStyle::StandardPixmap icon;
};

const NavigatorButton NavigatorButtons[] = {
    { "btnPrimeiro", "Primeiro registro", QStyle::SP_MediaSkipBackward },
    { "btnAnterior", "Registro anterior", QStyle::SP_ArrowLeft },
    { "btnProximo", "Próximo registro", QStyle::SP_ArrowRight },
    { "btnUltimo", "Último registro", QStyle::SP_MediaSkipForward },
    { "btnEditar", "Editar registro", QStyle::SP_FileDialogDetailedView },
    { "btnGravar", "Gravar alterações", QStyle::SP_DialogApplyButton },
    { "btnCancelar", "Cancelar alterações", QStyle::SP_DialogCancelButton },
    { "btnAtualizar", "Atualizar dados", QStyle::SP_BrowserReload },
    { "btnPaginaAnterior", "Página anterior", QStyle::SP_MediaSeekBackward },
    { "btnProximaPagina", "Próxima página", QStyle::SP_MediaSeekForward },
};

} // namespace

const QStringList& RecordViewDialog::shownFields()
{
    static const QStringList fields = {
        "Print_Data",  "Print_Hora", "Print_Document", "Usuario_Id", "Print_Pages", "Computer_Id", "calc_Custo",
        "Print_Color", "lk_Papel",   "Print_Entregue", "Print_Name", "Print_Drive", "Print_Id",    "Projeto_Id",
    };
    return fields;
}

RecordViewDialog::RecordViewDialog(JobsGrid* grid, QWidget* parent)
    : QDialog(parent)
    , m_grid(grid)
{
    setObjectName(QStringLiteral("wwRecordViewDialog1"));
    setWindowTitle(QStringLiteral("Record View"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* navigator = new Panel(this);
    navigator->setObjectName(QStringLiteral("Navigator"));
    auto* navigatorLayout = new QHBoxLayout(navigator);
    navigatorLayout->setContentsMargins(2, 2, 2, 2);
    navigatorLayout->setSpacing(2);
    for (const NavigatorButton& kind : NavigatorButtons) {
        auto* button = new QToolButton(navigator);
        button->setObjectName(QString::fromLatin1(kind.name));
        button->setAutoRaise(true);
        button->setIcon(style()->standardIcon(kind.icon));
        button->setToolTip(QString::fromUtf8(kind.hint));
        navigatorLayout->addWidget(button);
        m_buttons.insert(button->objectName(), button);
    }
    navigatorLayout->addStretch(1);
    layout->addWidget(navigator);

    auto* form = new QFormLayout();
    Dataset* rows = grid->dataset();
    for (const QString& name : shownFields()) {
        Field* field = rows->findField(name);
        if (!field) {
            continue;
        }
        QWidget* editor = nullptr;
        if (field->isFlag()) {
            editor = new QCheckBox(this);
        } else {
            auto* line = new QLineEdit(this);
            line->setReadOnly(true);
            editor = line;
        }
        editor->setObjectName(QStringLiteral("ed") + name);
        editor->setEnabled(!field->isFlag());
        m_editors.insert(name, editor);
        form->addRow(field->displayLabel(), editor);
    }
    layout->addLayout(form);

    const auto on = [this](const char* name, void (RecordViewDialog::*operation)()) {
        connect(m_buttons.value(QString::fromLatin1(name)), &QToolButton::clicked, this,
                ErrorHandler::guarded([this, operation] {
                    (this->*operation)();
                    updateButtons();
                }));
    };
    on("btnPrimeiro", &RecordViewDialog::first);
    on("btnAnterior", &RecordViewDialog::prior);
    on("btnProximo", &RecordViewDialog::next);
    on("btnUltimo", &RecordViewDialog::last);
    on("btnEditar", &RecordViewDialog::edit);
    on("btnGravar", &RecordViewDialog::post);
    on("btnCancelar", &RecordViewDialog::cancel);
    on("btnAtualizar", &RecordViewDialog::refresh);
    on("btnPaginaAnterior", &RecordViewDialog::priorPage);
    on("btnProximaPagina", &RecordViewDialog::nextPage);

    connect(rows, &Dataset::currentRowChanged, this, [this] {
        if (!isEditing()) {
            showRecord();
        }
    });
    showRecord();
    updateButtons();
}

RecordViewDialog::~RecordViewDialog()
{
    // An edit left open is dropped, never left pending in the view's dataset.
    if (isEditing()) {
        m_grid->dataset()->cancel();
    }
}

void RecordViewDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    QDialog::showEvent(event);
}

void RecordViewDialog::reject()
{
    if (isEditing()) {
        m_grid->dataset()->cancel();
    }
    QDialog::reject();
}

QWidget* RecordViewDialog::editorOf(const QString& fieldName) const
{
    return m_editors.value(fieldName);
}

QToolButton* RecordViewDialog::navigatorButton(const QString& objectName) const
{
    return m_buttons.value(objectName);
}

bool RecordViewDialog::isEditing() const
{
    return m_grid->dataset()->isEditing();
}

QString RecordViewDialog::editText(const Field& field)
{
    if (field.isNull()) {
        return QString();
    }
    // Day and time in full, whatever the grid shows of them: an edit keeps what it does not change.
    if (field.type() == FieldType::DateTime) {
        return Formats::formatDateTime(field.asDateTime());
    }
    // The cost as the grid shows it; it follows from the row and is never typed.
    if (field.kind() == FieldKind::Calculated && field.type() == FieldType::Currency) {
        return JobsViewModel::moneyText(field.asFloat());
    }
    return field.displayText();
}

void RecordViewDialog::setFromText(Field& field, const QString& text)
{
    if (text.trimmed().isEmpty() && field.type() != FieldType::String) {
        field.clear();
        return;
    }
    switch (field.type()) {
        case FieldType::DateTime: {
            const QDateTime value = RowFilter::parseShownDate(text);
            if (!value.isValid()) {
                throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
            }
            field.setValue(value);
            return;
        }
        case FieldType::Float:
        case FieldType::Currency: {
            double number = 0;
            if (!Formats::parseNumber(text, &number)) {
                throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
            }
            field.setValue(number);
            return;
        }
        default:
            field.setValue(text);
            return;
    }
}

void RecordViewDialog::showRecord()
{
    const Dataset* rows = m_grid->dataset();
    const bool hasRow = rows->isOpen() && rows->recNo() >= 0;
    for (auto entry = m_editors.cbegin(); entry != m_editors.cend(); ++entry) {
        const Field* field = rows->findField(entry.key());
        if (auto* check = qobject_cast<QCheckBox*>(entry.value())) {
            check->setChecked(hasRow && field->asString() == QLatin1String("S"));
        } else if (auto* line = qobject_cast<QLineEdit*>(entry.value())) {
            line->setText(hasRow ? editText(*field) : QString());
            line->setCursorPosition(0);
        }
    }
}

void RecordViewDialog::updateButtons()
{
    const Dataset* rows = m_grid->dataset();
    const bool editing = isEditing();
    const bool hasRow = rows->isOpen() && rows->recNo() >= 0;
    for (const char* name :
         { "btnPrimeiro", "btnAnterior", "btnProximo", "btnUltimo", "btnPaginaAnterior", "btnProximaPagina" }) {
        m_buttons.value(QString::fromLatin1(name))->setEnabled(!editing && hasRow);
    }
    m_buttons.value(QStringLiteral("btnEditar"))->setEnabled(!editing && hasRow);
    m_buttons.value(QStringLiteral("btnGravar"))->setEnabled(editing);
    m_buttons.value(QStringLiteral("btnCancelar"))->setEnabled(editing);
    m_buttons.value(QStringLiteral("btnAtualizar"))->setEnabled(!editing && rows->isOpen());
    for (auto entry = m_editors.cbegin(); entry != m_editors.cend(); ++entry) {
        const Field* field = rows->findField(entry.key());
        const bool editable = editing && field->kind() == FieldKind::Data && !field->isReadOnly();
        if (auto* line = qobject_cast<QLineEdit*>(entry.value())) {
            line->setReadOnly(!editable);
        } else {
            entry.value()->setEnabled(editable);
        }
    }
}

void RecordViewDialog::moveBy(int rows)
{
    const int current = qMax(0, m_grid->currentShownRow());
    m_grid->showRow(qBound(0, current + rows, m_grid->shownRowCount() - 1));
    showRecord();
}

void RecordViewDialog::first()
{
    m_grid->showRow(0);
    showRecord();
}

void RecordViewDialog::prior()
{
    moveBy(-1);
}

void RecordViewDialog::next()
{
    moveBy(1);
}

void RecordViewDialog::last()
{
    m_grid->showRow(m_grid->shownRowCount() - 1);
    showRecord();
}

void RecordViewDialog::priorPage()
{
    moveBy(-PageRows);
}

void RecordViewDialog::nextPage()
{
    moveBy(PageRows);
}

void RecordViewDialog::edit()
{
    m_grid->dataset()->edit();
    m_shownTexts.clear();
    for (auto entry = m_editors.cbegin(); entry != m_editors.cend(); ++entry) {
        if (const auto* line = qobject_cast<QLineEdit*>(entry.value())) {
            m_shownTexts.insert(entry.key(), line->text());
        }
    }
    updateButtons();
}

void RecordViewDialog::post()
{
    Dataset* rows = m_grid->dataset();
    if (!rows->isEditing()) {
        return;
    }
    for (auto entry = m_editors.cbegin(); entry != m_editors.cend(); ++entry) {
        Field* field = rows->findField(entry.key());
        if (field->kind() != FieldKind::Data || field->isReadOnly()) {
            continue;
        }
        if (const auto* check = qobject_cast<QCheckBox*>(entry.value())) {
            const QString flag = check->isChecked() ? QStringLiteral("S") : QStringLiteral("N");
            const QString now = field->asString();
            // An unknown letter stays as it was unless the box was changed.
            if ((now == QLatin1String("S")) != check->isChecked()) {
                field->setValue(flag);
            }
        } else if (const auto* line = qobject_cast<QLineEdit*>(entry.value())) {
            if (line->text() != m_shownTexts.value(entry.key())) {
                setFromText(*field, line->text());
            }
        }
    }
    rows->post();
    showRecord();
}

void RecordViewDialog::cancel()
{
    m_grid->dataset()->cancel();
    showRecord();
}

void RecordViewDialog::refresh()
{
    m_grid->dataset()->refresh();
    showRecord();
}

} // namespace tollbook
