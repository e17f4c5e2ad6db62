#include "ui/PeriodDialog.h"

#include "i18n/Language.h"
#include "platform/Clock.h"
#include "reports/ReportCatalogue.h"
#include "reports/ReportRenderer.h"
#include "reports/ReportRun.h"
#include "session/Session.h"
#include "ui/ErrorHandler.h"
#include "ui/ReportPreview.h"
#include "ui/WaitCursor.h"
#include "ui/WindowFile.h"
#include "ui/widgets/DatePicker.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

QDateEdit* datePicker(const QString& name, const QString& hint, QWidget* parent)
{
    auto* picker = new DatePicker(parent);
    picker->setObjectName(name);
    picker->setToolTip(hint);
    // This dialog keeps day/month/year whatever short date format the views are set to.
    picker->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    picker->setDate(Clock::today());
    return picker;
}

QPushButton* button(const QString& name, const QString& caption, const QString& hint, QWidget* parent)
{
    auto* created = new QPushButton(caption, parent);
    created->setObjectName(name);
    created->setToolTip(hint);
    created->setAutoDefault(false);
    return created;
}

} // namespace

PeriodDialog::PeriodDialog(Session* session, const QString& reportName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_session(session)
    , m_reportName(reportName)
    , m_previewStart(&showReportPreview)
    , m_periodBox(new QGroupBox(QStringLiteral("Selecione o Período"), this))
    , m_startLabel(new QLabel(QStringLiteral("Data Inicial"), m_periodBox))
    , m_startEdit(datePicker(QStringLiteral("wwDataRi"), QStringLiteral("Data Inicial"), m_periodBox))
    , m_endLabel(new QLabel(QStringLiteral("Data Final"), m_periodBox))
    , m_endEdit(datePicker(QStringLiteral("wwDataRf"), QStringLiteral("Data Final"), m_periodBox))
    , m_emailButton(button(QStringLiteral("Button3"), QStringLiteral("E-mail"),
                           QStringLiteral("Enviar relatório por e-mail"), this))
    , m_printButton(button(QStringLiteral("Button1"), QStringLiteral("Imprimir"),
                           QStringLiteral("Imprimir / Visualizar Relatório"), this))
    , m_closeButton(button(QStringLiteral("Button2"), QStringLiteral("Fechar"), QStringLiteral("Fechar"), this))
    , m_reportButton(button(QStringLiteral("btnRelatorio"), QString(), QString(), this))
{
    setObjectName(QStringLiteral("frmPeriodo"));
    setWindowTitle(Session::ProductName);
    setModal(true);
    setFixedSize(299, 157);

    m_periodBox->setObjectName(QStringLiteral("GroupBox1"));
    m_startLabel->setObjectName(QStringLiteral("Label1"));
    m_startLabel->setBuddy(m_startEdit);
    m_endLabel->setObjectName(QStringLiteral("Label2"));
    m_endLabel->setBuddy(m_endEdit);
    m_reportButton->setVisible(false);

    auto* dates = new QGridLayout(m_periodBox);
    dates->addWidget(m_startLabel, 0, 0);
    dates->addWidget(m_endLabel, 0, 1);
    dates->addWidget(m_startEdit, 1, 0);
    dates->addWidget(m_endEdit, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_emailButton);
    buttons->addStretch();
    buttons->addWidget(m_printButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_periodBox, 1);
    layout->addLayout(buttons);

    setTabOrder(m_startEdit, m_endEdit);
    setTabOrder(m_endEdit, m_printButton);
    setTabOrder(m_printButton, m_closeButton);
    setTabOrder(m_closeButton, m_emailButton);

    connect(m_reportButton, &QPushButton::clicked, this, ErrorHandler::guarded([this] { runReport(); }));
    connect(m_printButton, &QPushButton::clicked, this, ErrorHandler::guarded([this] { previewClicked(); }));
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

QDate PeriodDialog::startDate() const
{
    return m_startEdit->date();
}

QDate PeriodDialog::endDate() const
{
    return m_endEdit->date();
}

void PeriodDialog::setPeriod(const QDate& start, const QDate& end)
{
    m_startEdit->setDate(start);
    m_endEdit->setDate(end);
}

void PeriodDialog::setDestinationPreview()
{
    m_pdfPath.clear();
}

void PeriodDialog::setDestinationFile(const QString& pdfPath)
{
    m_pdfPath = pdfPath;
}

void PeriodDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    if (parentWidget()) {
        move(parentWidget()->window()->frameGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void PeriodDialog::runReport()
{
    WaitCursor busy;
    const std::optional<PreparedReport> prepared =
        prepareReport(m_reportName, startDate(), endDate(), *m_session->datasets(),
                      ReportCatalogue::layoutPath(m_session->installation()), &Language::reportText);
    if (!prepared) {
        return;
    }
    if (m_pdfPath.isEmpty()) {
        m_previewStart(*prepared, this);
    } else {
        // The clock and the monitoring tick go on while a long report is written.
        writeReportPdf(prepared->definition, *prepared->rows, prepared->parameters, m_pdfPath, prepared->title,
                       [](int) { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    }
}

void PeriodDialog::runReportToFile(const QString& pdfPath)
{
    setDestinationFile(pdfPath);
    runReport();
}

void PeriodDialog::previewClicked()
{
    setDestinationPreview();
    m_reportButton->click();
}

} // namespace tollbook
