#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tollbook {

class JobsGrid;

// "wwLocateDialog1", "Locate Field Value": moves the grid to the first or the next of the rows it shows
// whose value in the chosen field begins with the typed text, ignoring case; dates as they are shown
// (day/month/year). Says so when none does.
class LocateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LocateDialog(JobsGrid* grid, QWidget* parent = nullptr);

    QListWidget* fieldList() const { return m_fields; }
    QLineEdit* valueEdit() const { return m_value; }
    // Chooses the field of that name; false when the list has none.
    bool chooseField(const QString& fieldName);

    // The grid's row (among the rows it shows) of the first match from shownRow on; -1 for none.
    int findFrom(int shownRow) const;
    // FirstButton and NextButton; false (after the message) when nothing matched.
    bool findFirst();
    bool findNext();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool moveToMatch(int fromShownRow);

    JobsGrid* m_grid;
    QListWidget* m_fields;
    QLineEdit* m_value;
};

} // namespace tollbook
