#pragma once

#include <QDialog>

#include <memory>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tollbook {

class DatePicker;
class JobPurge;

// The purge dialog "frmLimpa": deletes the jobs of a chosen period, both days included.
//
// "Limpar" counts the jobs of the period and asks whether to delete that many of that period; Yes deletes
// exactly those and says how many went. The dialog stays open for another period. Both pickers start empty:
// they hold the zero date of 1899 and show it as no date, so with neither chosen nothing is deleted.
//
// The deletion goes in batches of about a tenth of a second each. Between two batches the window system
// processes its events, so the progress bar moves, the windows repaint and the monitoring tick keeps
// importing; meanwhile "Limpar" and closing the dialog wait until the purge has ended.
class PurgeDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PurgeDialog(QWidget* parent = nullptr);
    ~PurgeDialog() override;

    DatePicker* startPicker() const { return m_wwDataRi; }
    DatePicker* endPicker() const { return m_wwDataRf; }
    QPushButton* purgeButton() const { return m_button1; }
    QPushButton* closeButton() const { return m_button2; }
    QProgressBar* progressBar() const { return m_progress; }
    bool isPurging() const { return m_purging; }

    // "Limpar".
    void purge();

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runPurge();
    void showProgress();

    // Not a child: its statements are no components of the window files.
    std::unique_ptr<JobPurge> m_purge;
    QGroupBox* m_groupBox1;
    QLabel* m_label1;
    QLabel* m_label2;
    DatePicker* m_wwDataRi;
    DatePicker* m_wwDataRf;
    QProgressBar* m_progress;
    QPushButton* m_button1;
    QPushButton* m_button2;
    bool m_purging = false;
};

} // namespace tollbook
