#pragma once

#include <QStyledItemDelegate>
#include <QTableView>
#include <QWidget>

#include <array>

class QToolButton;

namespace tollbook {

class Dataset;
class GridModel;

// A registry's grid: the rows of one dataset, edited in place. The grid's current row is the dataset's.
// Enter moves to the next column; Ctrl+Delete deletes the current row after the delete question; the Insert
// key, or moving down from the last row, adds a row where inserting is allowed. When the focus leaves the
// grid (its cell editors included), a row being edited is posted. Whatever the dataset refuses is shown by
// the error handler.
class RegistryGrid : public QTableView
{
    Q_OBJECT

public:
    RegistryGrid(const QString& name, GridModel* model, QWidget* parent = nullptr);

    GridModel* gridModel() const { return m_model; }
    Dataset* dataset() const;

    // Read-only grids neither edit, add nor delete.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    void setInsertAllowed(bool allowed) { m_insertAllowed = allowed; }
    bool isInsertAllowed() const { return m_insertAllowed && !m_readOnly; }

    // Widths of the columns from the fields' widths in characters.
    void fitColumns();

    // The delete question in the current language, then the deletion of the current row; false when the
    // question was cancelled or the deletion failed (and was reported).
    static bool confirmAndDelete(Dataset* dataset, QWidget* parent);
    // Posts a row being edited or added; reported, never thrown.
    void postPending();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    bool owns(const QWidget* widget) const;
    void followDataset();
    void moveToNextColumn();

    GridModel* m_model;
    bool m_readOnly = false;
    bool m_insertAllowed = true;
    bool m_following = false;
};

// The navigator bar of a dataset: prior, next, insert, delete, edit, post, cancel and refresh, with the tool
// tips and the delete question of the current language. Buttons that cannot act now are disabled.
class RegistryNavigator : public QWidget
{
    Q_OBJECT

public:
    enum Button { Prior, Next, Insert, Delete, Edit, Post, Cancel, Refresh, ButtonCount };

    RegistryNavigator(const QString& name, Dataset* dataset, QWidget* parent = nullptr);

    QToolButton* button(Button which) const { return m_buttons.at(which); }
    void setInsertAllowed(bool allowed);
    // Tool tips anew from the current language.
    void applyLanguage();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void drawIcons();
    void press(Button which);
    void updateButtons();

    Dataset* m_dataset;
    std::array<QToolButton*, ButtonCount> m_buttons{};
    bool m_insertAllowed = true;
};

// The drop-down list of a grid column: the rows of a list model (the registry it chooses from), shown in the
// list's visible columns; choosing a row stores its key field's value in the grid's column. Typing, where
// allowed, drops the list down at the rows that start with the text; a cleared text stores nothing (null)
// where clearing is allowed.
class LookupDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    struct Options
    {
        QString editorName;  // the editor's object name ("wwDBLookupComboDlg1")
        QString keyField;    // the list's field whose value is stored
        QString shownField;  // the list's field shown in the closed box
        bool typing = false; // the text may be typed (and cleared)
        // The list's columns the drop-down shows, with their widths in characters; all when empty.
        QList<QPair<QString, int>> columns;
    };

    LookupDelegate(GridModel* list, Options options, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    GridModel* m_list;
    Options m_options;
};

// The editor of a page price: the amount with the process's decimal separator, up to four decimals (what a
// price holds), negative ones included so that the price rule can name what is wrong with them.
class PriceDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

} // namespace tollbook
