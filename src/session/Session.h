#pragma once

#include "mail/MailSettings.h"
#include "platform/Errors.h"
#include "platform/Installation.h"

#include <QString>

#include <memory>

namespace tollbook {

class DataModuleDatasets;

// What every Tollbook program does at its start, without any window: the installation's configuration
// (config.ini: the language and the database), the connection, the datasets every program shares, the check
// that the database is of this build's version, and the mail account of the configuration row. The
// application, tollbook-report and any program without a window start through it, step by step, so that each
// shows a failure its own way (a box, a line on standard error).
class Session
{
public:
    static inline const QString ProductName = QStringLiteral("Tollbook");

    // installFolder is the folder of the installation; a trailing '/' is added when missing.
    explicit Session(const QString& installFolder);
    // The datasets' queries go before the connection they run on; the connection is closed.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The first step: the language files' folder, the date and number formats, and the current language
    // (language when given, config.ini's otherwise). False, with nothing else done, when the installation has
    // no config.ini.
    bool configure(const QString& language = QString());
    // Opens the database config.ini names (closing this process's connection first) and the datasets every
    // program needs from the start. Throws what the store raises.
    void connect();
    // Throws VersionMismatch when the configuration row's system version, blanks aside, is not this build's.
    void checkVersion() const;
    // Creates the folder the journals are kept in when it is missing; throws PlainError when it cannot.
    void createJobsFolder() const;

    DataModuleDatasets* datasets() const { return m_datasets.get(); }
    // The installation folder and the files and programs in it; tests replace its process names and bitness.
    const Installation& installation() const { return m_installation; }
    Installation& installation() { return m_installation; }

    // Ativar_Login of the configuration row is "S". False while the configuration is not open (the database
    // could not be opened).
    bool loginEnabled() const;
    // The SMTP account of the configuration row as it reads now.
    MailSettings mailSettings() const;

private:
    Installation m_installation;
    std::unique_ptr<DataModuleDatasets> m_datasets;
};

// The database was made for another version of the system than this build.
class VersionMismatch : public Error
{
public:
    explicit VersionMismatch(const QString& databaseVersion);
    const QString& databaseVersion() const { return m_databaseVersion; }

private:
    QString m_databaseVersion;
};

} // namespace tollbook
