#pragma once

#include "mail/MailSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace tollbook {

// The mail sender: the caller resets it with clear(), gives it the account (settings), fills the message
// (recipients, subject, body lines, attachment files, whether to keep a copy) and calls send(), which checks
// the input, composes one message, delivers it over one SMTP connection, optionally keeps a copy as an .eml
// file and tells the user the outcome. It speaks its own three languages (language), independent of the
// application's message files. Its object name is the one the application's files address it by.
//
// A missing mandatory setting is thrown to the caller (PlainError). Everything after that (addresses,
// attachments, network, TLS, server replies, the copy) is reported through the reporter, not thrown. The
// reporter and the way the transfer runs are injected: core code shows no box and starts no thread itself.
class TollMail : public QObject
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

    explicit TollMail(QObject* parent = nullptr);

    MailSettings settings; // the account: server, credentials, sender address, security
    QString senderName;    // the sender's name; the address when empty
    QStringList to;        // one address per entry, taken as it is
    QStringList cc;
    QStringList bcc; // envelope only
    QString subject;
    QStringList attachments; // file paths
    QStringList body;        // lines
    bool keepCopy = false;
    QString copyFolder; // the copy's folder; the system's temporary folder unless set
    bool notifySuccess = true;
    QString language = QStringLiteral("pt_BR"); // "pt_BR", "en" or "es"; any other keeps silent

    QString version() const { return m_version; }
    // Any version set reads back as 2.0.0.0, as the component always answered.
    void setVersion(const QString&) { m_version = QStringLiteral("2.0.0.0"); }

    void setReporter(Reporter reporter) { m_reporter = std::move(reporter); }
    void setTransferRunner(TransferRunner runner) { m_runner = std::move(runner); }
    // Time-outs of the connection (up to the server's greeting) and of the whole transfer, in seconds.
    void setTimeouts(int connectSeconds, int transferSeconds);

    // Every property back to its initial value except language and version.
    void clear();
    // True when the message was delivered; a failed copy after that does not change it.
    bool send();

    // The folder the copy goes to unless copyFolder names another: the system's temporary folder.
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
