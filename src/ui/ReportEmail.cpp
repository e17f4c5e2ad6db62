#include "ui/ReportEmail.h"

#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "mail/MailConfiguration.h"
#include "mail/TollMail.h"
#include "reports/ReportLayout.h"
#include "session/Session.h"
#include "ui/ErrorHandler.h"
#include "ui/PeriodDialog.h"

#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>

namespace tollbook {

namespace {

const QString PdfFileName = QStringLiteral("Relatorio.pdf");

} // namespace

ReportEmail::ReportEmail(Session* session, TollMail* mail, PeriodDialog* dialog)
    : m_session(session)
    , m_mail(mail)
    , m_dialog(dialog)
    , m_prompt(&ReportEmail::askAddresses)
{
}

void ReportEmail::attach(Session* session, TollMail* mail, PeriodDialog* dialog)
{
    QObject::connect(dialog->emailButton(), &QPushButton::clicked, dialog,
                     ErrorHandler::guarded([session, mail, dialog] { ReportEmail(session, mail, dialog).run(); }));
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
    const QString pdfPath = m_session->installation().path(PdfFileName);
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
    TollMail& mail = *m_mail;
    MailConfiguration::prepareReport(mail, m_session->mailSettings(), MailConfiguration::splitAddresses(*typed),
                                     pdfPath);
    mail.send();
    m_dialog->accept();
}

} // namespace tollbook
