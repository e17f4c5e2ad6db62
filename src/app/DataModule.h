#pragma once

#include "session/Session.h"

#include <QObject>
#include <QString>

namespace tollbook {

class TollMail;

// The data module: what the whole application shares for the length of a run. It owns the session (the
// installation, the connection and the shared datasets), the mail sender and the process-wide flags (restore, developer
// mode, end of the application).
//
// Construction only builds the parts; create() runs the session's start (configuration, connection, schema
// version, journal folder) and the language set-up, and shows what stops it.
class DataModule : public QObject
{
    Q_OBJECT

public:
    static inline const QString ProductName = Session::ProductName;

    // installFolder is the folder of the installation; a trailing '/' is added when missing.
    explicit DataModule(const QString& installFolder, QObject* parent = nullptr);
    ~DataModule() override;

    // The creation steps, in order. False when the application must end at once, before any window: no
    // config.ini, or a database of another version than this build (after its error box). A failure from
    // the opening of the database on is shown through the error handler and creation stops there, but the
    // start-up goes on (true).
    bool create();

    Session& session() { return m_session; }
    const Session& session() const { return m_session; }
    DataModuleDatasets* datasets() const { return m_session.datasets(); }

    // The mail sender "TollMail1": its notices go to message boxes, its transfers run on a worker thread
    // behind a modal wait.
    TollMail* tollMail() const { return m_tollMail; }

    // The installation folder and the files and programs in it; tests replace its process names and bitness.
    const Installation& installation() const { return m_session.installation(); }
    Installation& installation() { return m_session.installation(); }
    QString installFolder() const { return installation().folder(); }
    QString configPath() const { return installation().configPath(); }

    // Ativar_Login of the configuration row is "S"; see Session::loginEnabled.
    bool loginEnabled() const { return m_session.loginEnabled(); }

    // The language set-up step: the process-wide texts of the current language; then languageSetUp().
    void applyLanguageSetup();

    // Set the first time the user asks to restore the application from the notification area; never reset.
    bool restoreFlag() const { return m_restoreFlag; }
    void setRestoreFlag() { m_restoreFlag = true; }

    bool developerMode() const { return m_developerMode; }
    void setDeveloperMode(bool on) { m_developerMode = on; }

    // Tells the application to end. The event loop ends as soon as it runs again; code that runs before the
    // loop checks endRequested().
    void endApplication();
    bool endRequested() const { return m_endRequested; }

Q_SIGNALS:
    void endApplicationRequested();
    // The language set-up ran: what shows texts of its own (the notification icon) takes the current language's.
    void languageSetUp();

private:
    Session m_session;
    TollMail* m_tollMail;
    bool m_restoreFlag = false;
    bool m_developerMode = false;
    bool m_endRequested = false;
};

} // namespace tollbook
