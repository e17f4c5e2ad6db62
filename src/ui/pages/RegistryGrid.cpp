#include "ui/pages/RegistryGrid.h"

#include "data/Dataset.h"
#include "data/Formats.h"
#include "data/TextCompare.h"
#include "i18n/Language.h"
#include "ui/ErrorHandler.h"
#include "ui/GridModel.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace tollbook {

RegistryGrid::RegistryGrid(const QString& name, GridModel* model, QWidget* parent)
    : QTableView(parent)
    , m_model(model)
{
    setObjectName(name);
    // While the dataset adds, removes or refills rows, the view moves its current cell on its own; the
    // dataset's current row is not to follow those moves. Connected before the view's own handlers, so that
    // the grid knows before the view moves.
    const auto reshaping = [this] { m_following = true; };
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, reshaping);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, reshaping);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, reshaping);
    setModel(model);
    const auto reshaped = [this] {
        m_following = false;
        followDataset();
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, reshaped);
    connect(model, &QAbstractItemModel::rowsRemoved, this, reshaped);
    connect(model, &QAbstractItemModel::modelReset, this, [this, reshaped] {
        fitColumns(); // a reset forgets the widths
        reshaped();
    });
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    fitColumns();

    connect(dataset(), &Dataset::currentRowChanged, this, [this] { followDataset(); });
    // Leaving the grid, from a cell or from one of its editors, for another control of the window posts the
    // row being edited. A box or a drop-down list taking the focus, or another program, is no leaving.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (owns(old) && now && !owns(now) && now->window() == window()) {
            postPending();
        }
    });
    followDataset();
}

Dataset* RegistryGrid::dataset() const
{
    return m_model->dataset();
}

void RegistryGrid::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                             : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setSelectionBehavior(readOnly ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

// As wide as the field's characters, and never narrower than its title.
void RegistryGrid::fitColumns()
{
    // Dates are digits, wider than the average character.
    const int averageWidth = fontMetrics().averageCharWidth();
    const int digitWidth = std::max(averageWidth, fontMetrics().horizontalAdvance(u'0'));
    const QFontMetrics titleMetrics(horizontalHeader()->font());
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const int characters = m_model->headerData(column, Qt::Horizontal, DatasetModel::DisplayWidthRole).toInt();
        const Field* field = m_model->fieldAt(column);
        const int characterWidth = field && field->type() == FieldType::DateTime ? digitWidth : averageWidth;
        if (characters > 0) {
            const int title =
                titleMetrics.horizontalAdvance(m_model->headerData(column, Qt::Horizontal).toString()) + 16;
            setColumnWidth(column, std::max(characters * characterWidth + 8, title));
        }
    }
}

// The grid itself, its cell editors and what they drop down.
bool RegistryGrid::owns(const QWidget* widget) const
{
    for (const QWidget* part = widget; part; part = part->parentWidget()) {
        if (part == this) {
            return true;
        }
    }
    return false;
}

void RegistryGrid::postPending()
{
    ErrorHandler::reportingErrors([this] {
        if (dataset()->isEditing()) {
            dataset()->post();
        }
    });
}

bool RegistryGrid::confirmAndDelete(Dataset* dataset, QWidget* parent)
{
    if (!dataset->isOpen() || dataset->recNo() < 0) {
        return false;
    }
    const MessageBox::Answer answer =
        MessageBox::show(BoxKind::Confirmation, Language::gridText(Language::GridText::DeleteQuestion),
                         MessageBox::Buttons::OkCancel, parent);
    if (answer != MessageBox::Answer::Ok) {
        return false;
    }
    return ErrorHandler::reportingErrors([dataset] { dataset->remove(); });
}

// The view's current row follows the dataset's current row, keeping its column.
void RegistryGrid::followDataset()
{
    if (m_following) {
        return;
    }
    const int row = dataset()->recNo();
    const QModelIndex current = currentIndex();
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    if (current.isValid() && current.row() == row) {
        return;
    }
    const int column = current.isValid() ? current.column() : 0;
    m_following = true;
    setCurrentIndex(m_model->index(row, std::max(0, column)));
    m_following = false;
}

// The dataset's current row follows the view's; moving away from a row being edited posts it, and a post
// the database refuses keeps the view on that row.
void RegistryGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following || !current.isValid() || current.row() == dataset()->recNo()) {
        return;
    }
    const bool moved = ErrorHandler::reportingErrors([this, &current] { dataset()->moveTo(current.row()); });
    if (!moved && previous.isValid()) {
        m_following = true;
        setCurrentIndex(previous);
        m_following = false;
    }
}

void RegistryGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    // Enter in a cell editor: on to the next column.
    if (hint == QAbstractItemDelegate::SubmitModelCache) {
        moveToNextColumn();
    }
}

void RegistryGrid::moveToNextColumn()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid()) {
        return;
    }
    if (current.column() + 1 < m_model->columnCount()) {
        setCurrentIndex(current.siblingAtColumn(current.column() + 1));
    } else if (current.row() + 1 < m_model->rowCount()) {
        setCurrentIndex(m_model->index(current.row() + 1, 0));
    }
}

void RegistryGrid::keyPressEvent(QKeyEvent* event)
{
    Dataset* rows = dataset();
    const bool editing = state() == QAbstractItemView::EditingState;
    if (!editing) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            moveToNextColumn();
            return;
        }
        if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
            if (!m_readOnly) {
                confirmAndDelete(rows, this);
            }
            return;
        }
        if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
            if (isInsertAllowed()) {
                ErrorHandler::reportingErrors([rows] { rows->insert(); });
            }
            return;
        }
        const bool lastRow = rows->recNo() < 0 || rows->recNo() == rows->recordCount() - 1;
        if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier && lastRow) {
            // Down from the last row adds one, unless that row is a new one not yet filled in.
            if (isInsertAllowed() && rows->state() != Dataset::State::Insert) {
                ErrorHandler::reportingErrors([rows] { rows->append(); });
            }
            return;
        }
        if (event->key() == Qt::Key_Escape && rows->isEditing()) {
            ErrorHandler::reportingErrors([rows] { rows->cancel(); });
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

namespace {

constexpr Language::GridText NavigatorTips[] = {
    Language::GridText::Prior, Language::GridText::Next, Language::GridText::Insert, Language::GridText::Delete,
    Language::GridText::Edit,  Language::GridText::Post, Language::GridText::Cancel, Language::GridText::Refresh,
};

// The picture of a navigator button, drawn in the button's text colour so that it follows the style.
QIcon navigatorIcon(int which, const QColor& colour)
{
    constexpr int Size = 16;
    QPixmap pixmap(Size, Size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    switch (which) {
        case RegistryNavigator::Prior:
            painter.setBrush(colour);
            painter.drawPolygon(QPolygonF({ QPointF(11, 3), QPointF(4, 8), QPointF(11, 13) }));
            break;
        case RegistryNavigator::Next:
            painter.setBrush(colour);
            painter.drawPolygon(QPolygonF({ QPointF(5, 3), QPointF(12, 8), QPointF(5, 13) }));
            break;
        case RegistryNavigator::Insert:
            painter.drawLine(QPointF(8, 3), QPointF(8, 13));
            painter.drawLine(QPointF(3, 8), QPointF(13, 8));
            break;
        case RegistryNavigator::Delete:
            painter.drawLine(QPointF(3, 8), QPointF(13, 8));
            break;
        case RegistryNavigator::Edit:
            painter.drawLine(QPointF(4, 12), QPointF(12, 4));
            painter.drawLine(QPointF(3, 13), QPointF(6, 13));
            break;
        case RegistryNavigator::Post:
            painter.drawPolyline(QPolygonF({ QPointF(3, 8), QPointF(7, 12), QPointF(13, 4) }));
            break;
        case RegistryNavigator::Cancel:
            painter.drawLine(QPointF(4, 4), QPointF(12, 12));
            painter.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        default: // refresh: an open circle with its arrow head
            painter.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
            painter.setBrush(colour);
            painter.setPen(Qt::NoPen);
            painter.drawPolygon(QPolygonF({ QPointF(8, 0.5), QPointF(12, 3), QPointF(8, 5.5) }));
            break;
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace

RegistryNavigator::RegistryNavigator(const QString& name, Dataset* dataset, QWidget* parent)
    : QWidget(parent)
    , m_dataset(dataset)
{
    setObjectName(name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (int which = 0; which < ButtonCount; ++which) {
        // Unnamed: the navigator is one component for the window files, its buttons are no components.
        auto* button = new QToolButton(this);
        button->setIconSize(QSize(16, 16));
        button->setFixedSize(27, 25);
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, which] { press(Button(which)); });
        layout->addWidget(button);
        m_buttons[size_t(which)] = button;
    }
    // The window's style gives buttons wide padding: a navigator's are narrow.
    setStyleSheet(QStringLiteral("QToolButton { padding: 2px; }"));
    drawIcons();
    applyLanguage();
    connect(dataset, &Dataset::stateChanged, this, [this] { updateButtons(); });
    connect(dataset, &Dataset::currentRowChanged, this, [this] { updateButtons(); });
    connect(dataset, &Dataset::resetDone, this, [this] { updateButtons(); });
    connect(dataset, &Dataset::rowInserted, this, [this] { updateButtons(); });
    connect(dataset, &Dataset::rowRemoved, this, [this] { updateButtons(); });
    updateButtons();
}

void RegistryNavigator::drawIcons()
{
    for (int which = 0; which < ButtonCount; ++which) {
        QToolButton* button = m_buttons.at(size_t(which));
        button->ensurePolished();
        button->setIcon(navigatorIcon(which, button->palette().color(QPalette::ButtonText)));
    }
}

void RegistryNavigator::showEvent(QShowEvent* event)
{
    // The style sheet's colours are known once the buttons are polished for showing.
    drawIcons();
    QWidget::showEvent(event);
}

void RegistryNavigator::setInsertAllowed(bool allowed)
{
    m_insertAllowed = allowed;
    updateButtons();
}

void RegistryNavigator::applyLanguage()
{
    for (int which = 0; which < ButtonCount; ++which) {
        m_buttons.at(size_t(which))->setToolTip(Language::gridText(NavigatorTips[which]));
    }
}

void RegistryNavigator::press(Button which)
{
    Dataset* rows = m_dataset;
    if (which == Delete) {
        RegistryGrid::confirmAndDelete(rows, window());
        return;
    }
    ErrorHandler::reportingErrors([rows, which] {
        switch (which) {
            case Prior:
                rows->prior();
                break;
            case Next:
                rows->next();
                break;
            case Insert:
                rows->insert();
                break;
            case Edit:
                rows->edit();
                break;
            case Post:
                rows->post();
                break;
            case Cancel:
                rows->cancel();
                break;
            case Refresh:
                rows->refresh();
                break;
            case Delete:
            case ButtonCount:
                break;
        }
    });
}

void RegistryNavigator::updateButtons()
{
    const bool open = m_dataset->isOpen();
    const bool editing = m_dataset->isEditing();
    const bool hasRow = open && m_dataset->recNo() >= 0;
    const int row = m_dataset->recNo();
    m_buttons[Prior]->setEnabled(hasRow && row > 0);
    m_buttons[Next]->setEnabled(hasRow && row < m_dataset->recordCount() - 1);
    m_buttons[Insert]->setEnabled(open && m_insertAllowed);
    m_buttons[Delete]->setEnabled(hasRow);
    m_buttons[Edit]->setEnabled(hasRow && !editing);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
    m_buttons[Refresh]->setEnabled(open);
}

LookupDelegate::LookupDelegate(GridModel* list, Options options, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_list(list)
    , m_options(std::move(options))
{
}

QWidget* LookupDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    Q_UNUSED(option)
    Q_UNUSED(index)
    auto* box = new QComboBox(parent);
    box->setObjectName(m_options.editorName);
    box->setModel(m_list);
    box->setModelColumn(std::max(0, m_list->columnOf(m_options.shownField)));
    // More than one column: a table with its titles drops down.
    if (m_options.columns.size() > 1) {
        auto* view = new QTableView(box);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->verticalHeader()->hide();
        view->horizontalHeader()->setHighlightSections(false);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setWordWrap(false);
        box->setView(view);
        int width = 0;
        const int characterWidth = box->fontMetrics().averageCharWidth();
        for (int column = 0; column < m_list->columnCount(); ++column) {
            const QString field = m_list->fieldAt(column)->fieldName();
            int characters = -1;
            for (const auto& [name, shownWidth] : m_options.columns) {
                if (name.compare(field, Qt::CaseInsensitive) == 0) {
                    characters = shownWidth;
                }
            }
            view->setColumnHidden(column, characters < 0);
            if (characters > 0) {
                view->setColumnWidth(column, characters * characterWidth + 8);
                width += characters * characterWidth + 8;
            }
        }
        view->setMinimumWidth(width + 24);
    }
    box->setEditable(m_options.typing);
    // A row chosen from the list, or Enter on the typed text, is the choice: written at once.
    const auto commit = [this, box = QPointer<QComboBox>(box)] {
        // Enter on the typed text may also count as a choice from the list: written once.
        if (box && !box->property("tollbookChosen").toBool()) {
            box->setProperty("tollbookChosen", true);
            auto* self = const_cast<LookupDelegate*>(this);
            Q_EMIT self->commitData(box);
            Q_EMIT self->closeEditor(box, QAbstractItemDelegate::SubmitModelCache);
        }
    };
    connect(box, qOverload<int>(&QComboBox::activated), this, commit);
    if (m_options.typing) {
        box->setInsertPolicy(QComboBox::NoInsert);
        box->completer()->setCompletionMode(QCompleter::PopupCompletion);
        box->completer()->setCaseSensitivity(Qt::CaseInsensitive);
        box->lineEdit()->setClearButtonEnabled(true);
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, commit);
    }
    return box;
}

void LookupDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* box = qobject_cast<QComboBox*>(editor);
    if (!box) {
        return;
    }
    const QVariant current = index.data(Qt::EditRole);
    Dataset* list = m_list->dataset();
    const Field* key = list->fieldByName(m_options.keyField);
    int found = -1;
    for (int row = 0; row < list->recordCount() && found < 0 && !current.isNull(); ++row) {
        const QVariant value = key->fromStored(list->storedValue(row, key->index()));
        const bool same = value.typeId() == QMetaType::QString
                              ? TextCompare::equal(value.toString(), current.toString())
                              : value.toDouble() == current.toDouble();
        if (same) {
            found = row;
        }
    }
    box->setCurrentIndex(found);
    if (found < 0 && box->isEditable()) {
        box->setEditText(QString());
    }
}

void LookupDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* box = qobject_cast<QComboBox*>(editor);
    if (!box) {
        return;
    }
    Dataset* list = m_list->dataset();
    const Field* key = list->fieldByName(m_options.keyField);
    const Field* shown = list->fieldByName(m_options.shownField);
    int row = box->currentIndex();
    if (box->isEditable()) {
        // The typed text names a row of the list, whatever its letter case; a cleared text stores nothing.
        const QString text = box->currentText().trimmed();
        if (text.isEmpty()) {
            if (!index.data(Qt::EditRole).isNull()) {
                model->setData(index, QVariant());
            }
            return;
        }
        row = -1;
        for (int candidate = 0; candidate < list->recordCount() && row < 0; ++candidate) {
            if (TextCompare::equal(shown->displayTextOf(list->storedValue(candidate, shown->index())), text)) {
                row = candidate;
            }
        }
    }
    if (row < 0 || row >= list->recordCount()) {
        return; // nothing chosen: the cell keeps its value
    }
    const QVariant chosen = key->fromStored(list->storedValue(row, key->index()));
    const QVariant current = index.data(Qt::EditRole);
    if (current.isNull() || current.toString() != chosen.toString()) {
        model->setData(index, chosen);
    }
}

QWidget* PriceDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    Q_UNUSED(option)
    Q_UNUSED(index)
    auto* edit = new QLineEdit(parent);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return edit;
}

void PriceDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* edit = qobject_cast<QLineEdit*>(editor);
    const QVariant value = index.data(Qt::EditRole);
    if (!edit || value.isNull()) {
        return;
    }
    QString text = QString::number(value.toDouble(), 'f', 4);
    while (text.endsWith(QLatin1Char('0')) && text.indexOf(QLatin1Char('.')) < text.size() - 3) {
        text.chop(1);
    }
    edit->setText(text.replace(QLatin1Char('.'), Formats::decimalSeparator()));
}

void PriceDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) {
        return;
    }
    const QString text = edit->text().trimmed();
    const QVariant current = index.data(Qt::EditRole);
    if (text.isEmpty()) {
        if (!current.isNull()) {
            model->setData(index, QVariant());
        }
        return;
    }
    double price = 0;
    if (!Formats::parseNumber(text, &price)) {
        return; // not a number: the cell keeps its price
    }
    if (current.isNull() || std::llround(current.toDouble() * 10000) != std::llround(price * 10000)) {
        model->setData(index, price);
    }
}

} // namespace tollbook
