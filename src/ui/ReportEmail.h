#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tollbook {

class PeriodDialog;
class Session;
class TollMail;

// "E-mail" of the period dialog: the selected report for the dates shown is written to Relatorio.pdf in
// the installation folder, the user is asked for the recipients, and the mail sender it is given mails
// the file with the settings of the configuration row; the dialog closes once the sender has finished.
//
// A Relatorio.pdf that cannot be replaced, a failed report or a missing mail setting end the path with the
// error shown and the dialog open. Cancel at the address prompt sends nothing and shows nothing.
class ReportEmail
{
public:
    // Asks for the recipients; nullopt when the user cancels.
    using AddressPrompt = std::function<std::optional<QString>(QWidget* parent)>;

    ReportEmail(Session* session, TollMail* mail, PeriodDialog* dialog);

    // Connects the dialog's "E-mail" button to run().
    static void attach(Session* session, TollMail* mail, PeriodDialog* dialog);

    void setAddressPrompt(AddressPrompt prompt) { m_prompt = std::move(prompt); }
    void run();

    // The standard prompt: "Entre com o e-mail de destino" / "Enviar para:", empty default.
    static std::optional<QString> askAddresses(QWidget* parent);

private:
    Session* m_session;
    TollMail* m_mail;
    PeriodDialog* m_dialog;
    AddressPrompt m_prompt;
};

} // namespace tollbook
