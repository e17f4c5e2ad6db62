#include "app/PeriodDialog.h"

#include "app/DataModule.h"
#include "app/ReportPreview.h"
#include "i18n/Language.h"
#include "platform/Clock.h"
#include "reports/ReportCatalogue.h"
#include "reports/ReportRenderer.h"
#include "reports/ReportRun.h"
#include "ui/ErrorHandler.h"
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

PeriodDialog::PeriodDialog(DataModule* dataModule, const QString& reportName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_dataModule(dataModule)
    , m_reportName(reportName)
    , m_previewStart(&showReportPreview)
    , m_groupBox1(new QGroupBox(QStringLiteral("Selecione o Período"), this))
    , m_label1(new QLabel(QStringLiteral("Data Inicial"), m_groupBox1))
    , m_wwDataRi(datePicker(QStringLiteral("wwDataRi"), QStringLiteral("Data Inicial"), m_groupBox1))
    , m_label2(new QLabel(QStringLiteral("Data Final"), m_groupBox1))
    , m_wwDataRf(datePicker(QStringLiteral("wwDataRf"), QStringLiteral("Data Final"), m_groupBox1))
    , m_button3(button(QStringLiteral("Button3"), QStringLiteral("E-mail"),
                       QStringLiteral("Enviar relatório por e-mail"), this))
    , m_button1(button(QStringLiteral("Button1"), QStringLiteral("Imprimir"),
                       QStringLiteral("Imprimir / Visualizar Relatório"), this))
    , m_button2(button(QStringLiteral("Button2"), QStringLiteral("Fechar"), QStringLiteral("Fechar"), this))
    , m_btnRelatorio(button(QStringLiteral("btnRelatorio"), QString(), QString(), this))
{
    setObjectName(QStringLiteral("frmPeriodo"));
    setWindowTitle(DataModule::ProductName);
    setModal(true);
    setFixedSize(299, 157);

    m_groupBox1->setObjectName(QStringLiteral("GroupBox1"));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setBuddy(m_wwDataRi);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setBuddy(m_wwDataRf);
    m_btnRelatorio->setVisible(false);

    auto* dates = new QGridLayout(m_groupBox1);
    dates->addWidget(m_label1, 0, 0);
    dates->addWidget(m_label2, 0, 1);
    dates->addWidget(m_wwDataRi, 1, 0);
    dates->addWidget(m_wwDataRf, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_button3);
    buttons->addStretch();
    buttons->addWidget(m_button1);
    buttons->addWidget(m_button2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_groupBox1, 1);
    layout->addLayout(buttons);

    setTabOrder(m_wwDataRi, m_wwDataRf);
    setTabOrder(m_wwDataRf, m_button1);
    setTabOrder(m_button1, m_button2);
    setTabOrder(m_button2, m_button3);

    connect(m_btnRelatorio, &QPushButton::clicked, this, ErrorHandler::guarded([this] { runReport(); }));
    connect(m_button1, &QPushButton::clicked, this, ErrorHandler::guarded([this] { previewClicked(); }));
    connect(m_button2, &QPushButton::clicked, this, &QDialog::reject);
}

QDate PeriodDialog::startDate() const
{
    return m_wwDataRi->date();
}

QDate PeriodDialog::endDate() const
{
    return m_wwDataRf->date();
}

void PeriodDialog::setPeriod(const QDate& start, const QDate& end)
{
    m_wwDataRi->setDate(start);
    m_wwDataRf->setDate(end);
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
        prepareReport(m_reportName, startDate(), endDate(), *m_dataModule->datasets(),
                      ReportCatalogue::layoutPath(m_dataModule->installation()), &Language::reportText);
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
    m_btnRelatorio->click();
}

} // namespace tollbook
