#pragma once

#include <QDate>
#include <QDialog>
#include <QString>

#include <functional>

class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;

namespace tollbook {

class Session;
struct PreparedReport;

// The period dialog "frmPeriodo": the first and the last day of a report's period, and the buttons that
// run the selected report to the preview ("Imprimir") or to a PDF file for the e-mail ("E-mail"). It stays
// open after a run, so the report can be run again for another period.
//
// The run-report operation (runReport(), the hidden btnRelatorio) runs the selected report for the dates
// shown to the destination chosen last: the preview, or a PDF file.
class PeriodDialog : public QDialog
{
    Q_OBJECT

public:
    // Shows the prepared report in a preview; replaced by tests.
    using PreviewStart = std::function<void(const PreparedReport& report, QWidget* parent)>;

    PeriodDialog(Session* session, const QString& reportName, QWidget* parent = nullptr);

    QString reportName() const { return m_reportName; }
    QDate startDate() const;
    QDate endDate() const;
    void setPeriod(const QDate& start, const QDate& end);

    // The destination of the next runs.
    void setDestinationPreview();
    void setDestinationFile(const QString& pdfPath);
    bool destinationIsFile() const { return !m_pdfPath.isEmpty(); }

    // The run-report operation: the busy pointer while it runs, the selected report's dataset reopened
    // for the period, the layout read, its texts localised, "DataI" and "DataF" set, the report produced.
    // Throws what fails (database, layout, output); the pointer is restored in any case.
    void runReport();
    // The file destination and a run: the report written to pdfPath.
    void runReportToFile(const QString& pdfPath);

    // "E-mail": the e-mail path connects to it.
    QPushButton* emailButton() const { return m_emailButton; }

    void setPreviewStart(PreviewStart start) { m_previewStart = std::move(start); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void previewClicked();

    Session* m_session;
    QString m_reportName;
    QString m_pdfPath; // empty: the preview
    PreviewStart m_previewStart;
    QGroupBox* m_periodBox;
    QLabel* m_startLabel;
    QDateEdit* m_startEdit;
    QLabel* m_endLabel;
    QDateEdit* m_endEdit;
    QPushButton* m_emailButton;
    QPushButton* m_printButton;
    QPushButton* m_closeButton;
    QPushButton* m_reportButton;
};

} // namespace tollbook
