#pragma once

// A temporary installation folder for one test case, the process-wide state put back between cases, and a
// recorder that answers every message box shown while it lives.

#include "app/ApplicationShell.h"
#include "app/MainWindowController.h"
#include "common/ModalHelper.h"
#include "data/Database.h"
#include "i18n/Language.h"
#include "platform/MessageBoxTexts.h"
#include "platform/SystemRoutines.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The folder holds:
//   config.ini                    DataBase (data/Tollbook.db) and Language=pt_BR
//   data/Tollbook.db              a new database
//   language/Default_<code>.lpu   for pt_BR, en and es: the exit question, the status template, the
//                                 navigation entries and the login error, each marked with its code
//   language/en/frmTBKPrincipal.lpu   the main window's title and one menu caption in English
//   language/pt_BR/               empty
class InstallFixture
{
public:
    InstallFixture()
    {
        QVERIFY2(m_dir.isValid(), "temporary folder");
        m_folder = m_dir.path() + QLatin1Char('/');
        QVERIFY(QDir().mkpath(path(QStringLiteral("data"))));
        m_database = path(QStringLiteral("data/Tollbook.db"));
        tollbook::Database::create(m_database);
        writeConfig(QStringLiteral("DataBase"), m_database);
        writeConfig(QStringLiteral("Language"), QStringLiteral("pt_BR"));

        writeMessages(QStringLiteral("pt_BR"), QStringLiteral("Sair do Tollbook?"), QStringLiteral("Registros: %s"),
                      QStringLiteral("Login inválido"));
        writeMessages(QStringLiteral("en"), QStringLiteral("Exit Tollbook?"), QStringLiteral("Records: %s"),
                      QStringLiteral("Wrong login"));
        writeMessages(QStringLiteral("es"), QStringLiteral("¿Salir del Tollbook?"), QStringLiteral("Registros hoy: %s"),
                      QStringLiteral("Login incorrecto"));
        QVERIFY(QDir().mkpath(path(QStringLiteral("language/pt_BR"))));
        writeText(QStringLiteral("language/en/frmTBKPrincipal.lpu"),
                  { QStringLiteral("[frmTBKPrincipal]"), QStringLiteral("frmTBKPrincipal.Caption=Tollbook (EN)"),
                    QStringLiteral("Arquivo1.Caption=File") });
    }

    // With the trailing '/'.
    QString folder() const { return m_folder; }
    QString path(const QString& relative) const { return m_folder + relative; }
    QString databasePath() const { return m_database; }
    QString configPath() const { return path(QStringLiteral("config.ini")); }

    QString config(const QString& key) const
    {
        return tollbook::ReadIniValue(configPath(), QStringLiteral("App"), key);
    }
    void writeConfig(const QString& key, const QString& value)
    {
        tollbook::WriteIniValue(configPath(), QStringLiteral("App"), key, value);
    }

    // A text file of CR LF lines in UTF-8 with a byte-order mark, folders created as needed.
    void writeText(const QString& relative, const QStringList& lines)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("\xEF\xBB\xBF");
        file.write(lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    }

#ifdef TOLLBOOK_SOURCE_DIR
    // Copies a file shipped in the source tree to the same relative path here, folders created as needed.
    void copyFromSource(const QString& relative)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
        QVERIFY(QFile::copy(QStringLiteral(TOLLBOOK_SOURCE_DIR "/") + relative, path(relative)));
    }
#endif

    // Runs statements on the database through a connection of its own.
    void execSql(const QStringList& statements)
    {
        const QString connection = QStringLiteral("install-fixture");
        {
            QSqlDatabase db = tollbook::Database::open(m_database, connection);
            QSqlQuery query(db);
            for (const QString& statement : statements) {
                if (!query.exec(statement)) {
                    QFAIL(qPrintable(statement + QStringLiteral(": ") + query.lastError().text()));
                }
            }
        }
        tollbook::Database::close(connection);
    }

    // The login switch and the stored credentials (a null QString stores NULL).
    void setLogin(const QString& enabled, const QString& login, const QString& password)
    {
        const auto sqlText = [](const QString& value) {
            return value.isNull()
                       ? QStringLiteral("NULL")
                       : QLatin1Char('\'') + QString(value).replace(QLatin1Char('\''), QStringLiteral("''")) +
                             QLatin1Char('\'');
        };
        execSql({ QStringLiteral("UPDATE Configuracao SET Ativar_Login = %1, Usuario_Login = %2, Usuario_Senha = %3")
                      .arg(sqlText(enabled), sqlText(login), sqlText(password)) });
    }

private:
    void writeMessages(const QString& code, const QString& exitQuestion, const QString& countTemplate,
                       const QString& loginError)
    {
        QStringList lines{ QStringLiteral("[Principal]"), QStringLiteral("sMsgSair=") + exitQuestion,
                           QStringLiteral("StatusBar1.Panels2.Text=") + countTemplate };
        for (int entry = 1; entry <= 5; ++entry) {
            lines << QStringLiteral("TreeView1.Items%1.Text=%2 %1").arg(entry).arg(code);
        }
        lines << QStringLiteral("[Login]") << QStringLiteral("sMsgLoginErro=") + loginError;
        writeText(QStringLiteral("language/Default_%1.lpu").arg(code), lines);
    }

    QTemporaryDir m_dir;
    QString m_folder;
    QString m_database;
};

// Puts back what a run changes process-wide: the language, the grid set and the message-box texts.
inline void resetProcessWideState()
{
    tollbook::Language::setCurrentCode(QString());
    tollbook::Language::setActiveGridSet(QStringLiteral("pt_BR"));
    tollbook::MessageBoxTexts::reset();
}

// Process names of this test run only, so that nothing else on the machine is counted or ended.
inline QString ownAgentName()
{
    return QStringLiteral("PrintJob%1").arg(QCoreApplication::applicationPid());
}
inline QString ownAppName()
{
    return QStringLiteral("Tollbook%1").arg(QCoreApplication::applicationPid());
}

// A process that runs until it is ended, under the executable name given: a copy of sleep in folder.
inline bool startNamedProcess(QProcess& process, const QString& folder, const QString& name)
{
    const QString executable = QDir(folder).filePath(name);
    if (!QFile::exists(executable) && !QFile::copy(QStringLiteral("/bin/sleep"), executable)) {
        return false;
    }
    process.start(executable, { QStringLiteral("600") });
    return process.waitForStarted(-1);
}

// Runs the start-up as the entry point does, without the event loop: data module, main window and, when
// show is true, the main window's first showing. The shell's processes go by the names of this run.
inline std::unique_ptr<tollbook::ApplicationShell> startShell(const InstallFixture& install, bool show = true)
{
    auto shell = std::make_unique<tollbook::ApplicationShell>(install.folder());
    if (!shell->createDataModule()) {
        return shell;
    }
    shell->createMainWindow();
    shell->controller()->setAgentName(ownAgentName());
    if (show) {
        shell->showMainWindow();
    }
    return shell;
}

// Answers every message box shown while it lives, in order with the answers given and OK (or the box's
// escape answer) after them, and records what each box showed.
class BoxRecorder
{
public:
    explicit BoxRecorder(QList<tollbook::MessageBox::Answer> answers = {})
        : m_state(std::make_shared<State>())
    {
        m_state->answers = std::move(answers);
        poll(m_state);
    }

    int count() const { return int(m_state->boxes.size()); }
    const ModalHelper::BoxRecord& box(int index) const { return m_state->boxes.at(index); }
    QStringList texts() const
    {
        QStringList texts;
        for (const ModalHelper::BoxRecord& box : m_state->boxes) {
            texts << box.text;
        }
        return texts;
    }

private:
    struct State
    {
        QList<tollbook::MessageBox::Answer> answers;
        QList<ModalHelper::BoxRecord> boxes;
    };

    static void poll(std::weak_ptr<State> weak)
    {
        QTimer::singleShot(ModalHelper::detail::PollInterval, qApp, [weak]() {
            const auto state = weak.lock();
            if (!state) {
                return;
            }
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->isVisible() && !box->property(ModalHelper::detail::HandledProperty).toBool()) {
                box->setProperty(ModalHelper::detail::HandledProperty, true);
                answer(*state, box);
            }
            poll(weak);
        });
    }

    static void answer(State& state, QMessageBox* box)
    {
        ModalHelper::BoxRecord record;
        record.shown = true;
        record.text = box->text();
        record.title = box->windowTitle();
        record.icon = box->icon();
        const tollbook::MessageBox::Answer wanted =
            state.answers.isEmpty() ? tollbook::MessageBox::Answer::Ok : state.answers.takeFirst();
        QAbstractButton* press = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            record.buttons << button->text();
            if (!press && box->buttonRole(button) == ModalHelper::roleOf(wanted)) {
                press = button;
            }
        }
        record.answered = press != nullptr;
        state.boxes << record;
        if (!press) {
            press = box->escapeButton();
        }
        if (press) {
            press->click();
        } else {
            box->reject();
        }
    }

    std::shared_ptr<State> m_state;
};
