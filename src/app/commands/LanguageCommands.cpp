#include "app/commands/LanguageCommands.h"

#include "app/DataModule.h"
#include "i18n/Language.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/WindowFile.h"

#include <QAction>

namespace tollbook {

LanguageCommands::LanguageCommands(DataModule* dataModule, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_window(window)
{
    setObjectName(QStringLiteral("LanguageCommands"));
}

void LanguageCommands::connectMenu(const MainMenu& menu)
{
    const struct
    {
        QAction* item;
        const char* code;
    } languages[] = { { menu.portuguese, "pt_BR" }, { menu.english, "en" }, { menu.spanish, "es" } };
    for (const auto& language : languages) {
        const QString code = QString::fromLatin1(language.code);
        connect(language.item, &QAction::triggered, this, [this, code] { switchLanguage(code); });
    }
}

void LanguageCommands::switchLanguage(const QString& code)
{
    ErrorHandler::reportingErrors([this, &code] {
        WriteIniValue(m_dataModule->configPath(), QStringLiteral("App"), QStringLiteral("Language"), code);
        Language::setCurrentCode(code);
        WindowFile::apply(m_window, code);
        m_dataModule->applyLanguageSetup();
        m_window->applyNavigationTexts();
        MessageBox::show(BoxKind::Information, Language::restartNotice(code), MessageBox::Buttons::Ok, m_window);
        m_window->close();
    });
}

} // namespace tollbook
