#pragma once

#include <QDialog>
#include <QHash>

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace tollbook {

class Field;
class JobsGrid;

// "wwRecordViewDialog1", "Record View": the current job's fields under the grid's titles, and a navigator
// over the rows the grid shows (first, prior, next, last, edit, post, cancel, refresh, prior page, next
// page). Edit and post change the job row itself; the calculated cost and the paper name follow from it.
class RecordViewDialog : public QDialog
{
    Q_OBJECT

public:
    // The fields the form shows, in this order.
    static const QStringList& shownFields();

    explicit RecordViewDialog(JobsGrid* grid, QWidget* parent = nullptr);
    ~RecordViewDialog() override;

    // The editor of a field: a QLineEdit, or a QCheckBox for a flag.
    QWidget* editorOf(const QString& fieldName) const;
    QToolButton* navigatorButton(const QString& objectName) const;

    void first();
    void prior();
    void next();
    void last();
    void priorPage();
    void nextPage();
    // Edit puts the row in edit state and opens the editors; post writes what was typed (only the fields that
    // changed) and throws what the dataset or the database refuses, the row staying in edit state.
    void edit();
    void post();
    void cancel();
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void moveBy(int rows);
    void showRecord();
    void updateButtons();
    bool isEditing() const;
    static QString editText(const Field& field);
    static void setFromText(Field& field, const QString& text);

    JobsGrid* m_grid;
    QHash<QString, QWidget*> m_editors;
    QHash<QString, QString> m_shownTexts; // what the editors showed when editing began
    QHash<QString, QToolButton*> m_buttons;
};

} // namespace tollbook
