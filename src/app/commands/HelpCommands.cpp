#include "app/commands/HelpCommands.h"

#include "app/DataModule.h"
#include "i18n/Language.h"
#include "maintenance/AboutBox.h"
#include "maintenance/Help.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"

#include <QAction>

namespace tollbook {

HelpCommands::HelpCommands(DataModule* dataModule, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_window(window)
{
    setObjectName(QStringLiteral("HelpCommands"));
}

void HelpCommands::connectMenu(const MainMenu& menu)
{
    connect(menu.help, &QAction::triggered, this, &HelpCommands::openHelp);
    connect(menu.about, &QAction::triggered, this, &HelpCommands::showAbout);
}

void HelpCommands::openHelp()
{
    ErrorHandler::reportingErrors(
        [this] { tollbook::openHelp(m_dataModule->installFolder(), Language::currentCode(), m_window); });
}

void HelpCommands::showAbout()
{
    ErrorHandler::reportingErrors([this] {
        AboutBox about(m_window);
        about.exec();
    });
}

} // namespace tollbook
