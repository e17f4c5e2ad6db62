#include "app/ReportEmail.h"

#include "app/DataModule.h"
#include "app/PeriodDialog.h"
#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "mail/MailConfiguration.h"
#include "mail/TollMail.h"
#include "reports/ReportLayout.h"
#include "ui/ErrorHandler.h"

#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>

namespace tollbook {

namespace {

const QString PdfFileName = QStringLiteral("Relatorio.pdf");

} // namespace

ReportEmail::ReportEmail(DataModule* dataModule, PeriodDialog* dialog)
    : m_dataModule(dataModule)
    , m_dialog(dialog)
    , m_prompt(&ReportEmail::askAddresses)
{
}

void ReportEmail::attach(DataModule* dataModule, PeriodDialog* dialog)
{
    QObject::connect(dialog->emailButton(), &QPushButton::clicked, dialog,
                     ErrorHandler::guarded([dataModule, dialog] { ReportEmail(dataModule, dialog).run(); }));
}

std::optional<QString> ReportEmail::askAddresses(QWidget* parent)
{
    QInputDialog prompt(parent);
    prompt.setObjectName(QStringLiteral("InputBox"));
    prompt.setWindowTitle(QStringLiteral("Entre com o e-mail de destino"));
    prompt.setLabelText(QStringLiteral("Enviar para:"));
    prompt.setTextValue(QString());
    if (prompt.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return prompt.textValue();
}

void ReportEmail::run()
{
    const QString pdfPath = m_dataModule->installation().path(PdfFileName);
    if (QFileInfo::exists(pdfPath) && !QFile::remove(pdfPath)) {
        throw ReportError(Language::message(QStringLiteral("Periodo"), QStringLiteral("sMsgPDFOpen")));
    }
    m_dialog->runReportToFile(pdfPath);
    // The next "Imprimir" goes to the preview again whatever happens from here on.
    m_dialog->setDestinationPreview();

    const std::optional<QString> typed = m_prompt(m_dialog);
    if (!typed) {
        return;
    }
    TollMail& mail = *m_dataModule->tollMail();
    MailConfiguration::prepareReport(mail, m_dataModule->session().mailSettings(),
                                     MailConfiguration::splitAddresses(*typed), pdfPath);
    mail.send();
    m_dialog->accept();
}

} // namespace tollbook
