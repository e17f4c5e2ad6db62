#pragma once

#include "ui/RowFilter.h"

#include <QDialog>
#include <QHash>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace tollbook {

class JobsGrid;

// "wwFilterDialog1", "Localizar Registros": criteria per field (a value or a range), how a value matches,
// case and the non-matching rows; OK makes the grid show only the rows that meet them until they are
// cleared. What is typed here reaches the database only as bound values.
class FilterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FilterDialog(JobsGrid* grid, QWidget* parent = nullptr);

    QListWidget* fieldList() const { return m_fields; }

    // The criterion of a field, as if typed into the dialog.
    void setValue(const QString& fieldName, const QString& value);
    void setRange(const QString& fieldName, const QString& from, const QString& to);
    void setOptions(const RowFilter::Options& options);
    // The filter the dialog now holds.
    RowFilter filter() const;

    // OK: the grid shows the rows that meet the criteria. ClearButton: every criterion dropped.
    void applyToGrid();
    void clearCriteria();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showCriterion();
    RowFilter::Criterion typedCriterion() const;
    void keepCriterion();
    QString currentField() const;

    JobsGrid* m_grid;
    QListWidget* m_fields;
    QRadioButton* m_byValue;
    QRadioButton* m_byRange;
    QLineEdit* m_value;
    QLineEdit* m_from;
    QLineEdit* m_to;
    QRadioButton* m_anywhere;
    QRadioButton* m_exact;
    QRadioButton* m_start;
    QCheckBox* m_caseSensitive;
    QCheckBox* m_nonMatching;
    QHash<QString, RowFilter::Criterion> m_criteria; // by field name
    QString m_shownField;
    bool m_showing = false;
};

} // namespace tollbook
