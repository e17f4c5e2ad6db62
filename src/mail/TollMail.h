#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace tollbook {

// The mail sender: the caller resets it with LimpaDados, fills its properties (server, credentials, sender,
// recipients, subject, body lines, attachment files, security switches) and calls SendMail, which checks the
// input, composes one message, delivers it over one SMTP connection, optionally keeps a copy as an .eml file
// and tells the user the outcome. It speaks its own three languages (Language), independent of the
// application's message files.
//
// A missing mandatory setting is thrown to the caller (PlainError). Everything after that (addresses,
// attachments, network, TLS, server replies, the copy) is reported through the reporter, not thrown. The
// reporter and the way the transfer runs are injected: core code shows no box and starts no thread itself.
//
// The properties are public fields under the component's published names; callers fill them directly.
class TTollMail : public QObject
{
    Q_OBJECT

public:
    enum class Notice { Information, Warning };
    // Shows the outcome to the user; by default a line on standard error.
    using Reporter = std::function<void(Notice kind, const QString& text)>;
    // Runs the network transfer and returns when it is over, passing on what it throws; by default on the
    // calling thread. The application runs it on a worker thread behind a modal wait.
    using TransferRunner = std::function<void(const std::function<void()>& transfer)>;

    static inline const QString CopyFileName = QStringLiteral("MsgMail.eml");
    static inline const QString Mailer = QStringLiteral("TollMail");

    explicit TTollMail(QObject* parent = nullptr);

    QString Host;
    QString LoginUsuario;
    int Porta = 25;
    QString Senha;
    QString EmailOrigem;
    QString EmailOrigemNome;
    QStringList EmailDestino;   // To, one address per line, taken as it is
    QStringList ComCopia;       // Cc
    QStringList ComCopiaOculta; // Bcc: envelope only
    QString Assunto;
    QStringList Anexo;    // attachment paths
    QStringList Mensagem; // body lines
    bool GravarEmail = false;
    QString GravarLocal; // the copy's folder; the system's temporary folder unless set
    bool Autenticar = true;
    bool HabilitarSSL = false; // TLS; from the first byte on port 465, by STARTTLS elsewhere
    bool HabilitarTLS = false; // TLS by STARTTLS
    bool NoficarMsg = true;
    QString Language = QStringLiteral("pt_BR"); // "pt_BR", "en" or "es"; any other keeps silent

    QString Version() const { return m_version; }
    void SetVersion(const QString&) { m_version = QStringLiteral("2.0.0.0"); }

    void setReporter(Reporter reporter) { m_reporter = std::move(reporter); }
    void setTransferRunner(TransferRunner runner) { m_runner = std::move(runner); }
    // Time-outs of the connection (up to the server's greeting) and of the whole transfer, in seconds.
    void setTimeouts(int connectSeconds, int transferSeconds);

    // Every property back to its initial value except Language and Version.
    void LimpaDados();
    // True when the message was delivered; a failed copy after that does not change it.
    bool SendMail();

    // The folder the copy goes to unless GravarLocal names another: the system's temporary folder.
    static QString defaultCopyFolder();

private:
    void report(Notice kind, const QString& text) const;
    void writeCopy(const QByteArray& message);

    QString m_version = QStringLiteral("2.0.0.2");
    Reporter m_reporter;
    TransferRunner m_runner;
    int m_connectTimeout = 30;
    int m_transferTimeout = 300;
};

} // namespace tollbook
