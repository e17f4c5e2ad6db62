#include "app/DataModule.h"

#include "app/Artwork.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/ErrorTranslation.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "mail/TollMail.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/ModalWait.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");

} // namespace

DataModule::DataModule(const QString& installFolder, QObject* parent)
    : QObject(parent)
    , m_installation(installFolder)
    , m_datasets(new DataModuleDatasets(this))
    , m_tollMail(new TTollMail(this))
    , m_trayIcon(new QSystemTrayIcon(this))
    , m_trayMenu(new QMenu)
    , m_restoreAction(new QAction(QStringLiteral("Restaurar"), m_trayMenu))
    , m_finishAction(new QAction(QStringLiteral("&Finalizar"), m_trayMenu))
    , m_balloonTitle(QStringLiteral("Aplicativo Minimizado"))
{
    setObjectName(QStringLiteral("Tdm"));

    m_tollMail->setObjectName(QStringLiteral("TollMail1"));
    m_tollMail->NoficarMsg = false;
    m_tollMail->SetVersion(QStringLiteral("2.0.0.0"));
    m_tollMail->setReporter([](TTollMail::Notice kind, const QString& text) {
        MessageBox::show(kind == TTollMail::Notice::Information ? BoxKind::Information : BoxKind::Warning, text,
                         MessageBox::Buttons::Ok, QApplication::activeWindow());
    });
    m_tollMail->setTransferRunner([](const std::function<void()>& transfer) {
        ModalWait::run(Language::message(QStringLiteral("Mail"), QStringLiteral("sMsgEnviandoEmail")), transfer,
                       QApplication::activeWindow());
    });

    m_trayIcon->setObjectName(QStringLiteral("TrayIcon1"));
    m_trayIcon->setToolTip(ProductName);
    m_trayIcon->setIcon(Artwork::productIcon());
    m_trayMenu->setObjectName(QStringLiteral("PopupMenu1"));
    m_restoreAction->setObjectName(QStringLiteral("Restaurar1"));
    m_finishAction->setObjectName(QStringLiteral("Sair1"));
    m_trayMenu->addAction(m_restoreAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_finishAction);
    m_trayIcon->setContextMenu(m_trayMenu);

    // A restore hides the icon, which must not happen inside the icon's, its balloon's or its menu's own
    // event handler (the balloon's widget is gone when its handler goes on): the request is queued.
    connect(
        m_trayIcon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                Q_EMIT restoreRequested();
            }
        },
        Qt::QueuedConnection);
    connect(m_trayIcon, &QSystemTrayIcon::messageClicked, this, &DataModule::restoreRequested, Qt::QueuedConnection);
    connect(m_restoreAction, &QAction::triggered, this, &DataModule::restoreRequested, Qt::QueuedConnection);
    connect(m_finishAction, &QAction::triggered, this, &DataModule::finishRequested);
}

DataModule::~DataModule()
{
    m_trayIcon->hide();
    m_trayIcon->setContextMenu(nullptr);
    delete m_trayMenu;
    // The datasets' queries go before the connection they run on.
    delete m_datasets;
    m_datasets = nullptr;
    Database::close();
}

bool DataModule::create()
{
    QCoreApplication::setApplicationName(ProductName);
    Language::setInstallFolder(m_installation.folder());

    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));

    if (!QFileInfo::exists(configPath())) {
        endApplication();
        return false;
    }

    Language::setCurrentCode(ReadIniValue(configPath(), AppSection, QStringLiteral("Language")));

    try {
        Database::close();
        Database::open(ReadIniValue(configPath(), AppSection, QStringLiteral("DataBase")));

        m_datasets->openStartupDatasets();
        QCoreApplication::processEvents();

        const QString databaseVersion =
            m_datasets->SQL_Configuracao->fieldByName(QStringLiteral("Versao_Sistema"))->asString().trimmed();
        if (databaseVersion != GetVersionText()) {
            MessageBox::show(BoxKind::Error,
                             QStringLiteral("A versão do sistema é diferente do banco de dados! Banco: ") +
                                 databaseVersion,
                             MessageBox::Buttons::Ok);
            endApplication();
            return false;
        }

        createJobsFolder();
        applyLanguageSetup();
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
    return true;
}

void DataModule::createJobsFolder()
{
    const QString folder = m_installation.jobsFolder();
    if (QFileInfo(folder).isDir()) {
        return;
    }
    if (!QDir().mkdir(folder)) {
        throw PlainError(QStringLiteral("Diretório não pode ser criado: ") + folder +
                         QStringLiteral(". Consulte o Administrador da rede pois seu usuário não tem permissão para "
                                        "criar esta pasta."));
    }
}

bool DataModule::loginEnabled() const
{
    const Dataset* configuration = m_datasets->SQL_Configuracao;
    if (!configuration->isOpen() || configuration->isEmpty()) {
        return false;
    }
    return configuration->fieldByName(QStringLiteral("Ativar_Login"))->asString() == QLatin1String("S");
}

void DataModule::applyLanguageSetup()
{
    const QString code = Language::currentCode();
    if (Language::isKnownCode(code)) {
        const Language::TrayTexts texts = Language::trayTexts(code);
        m_balloonTitle = texts.balloonTitle;
        m_restoreAction->setText(texts.restore);
        m_finishAction->setText(texts.finish);
    }
    Language::applySetup();
}

void DataModule::showTrayIcon()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_trayIcon->show();
    // The balloon points at the icon, which the tray places a moment after it is shown.
    whenTrayIconPlaced(
        m_trayIcon,
        [icon = m_trayIcon]() {
            const QRect place = icon->geometry();
            return place.isValid() && place.topLeft() != QPoint(0, 0);
        },
        [this]() {
            if (m_trayIcon->isVisible()) {
                m_trayIcon->showMessage(m_balloonTitle, ProductName, QSystemTrayIcon::Information);
            }
        });
}

void whenTrayIconPlaced(QObject* context, std::function<bool()> placed, std::function<void()> show, int attempts,
                        int intervalMs)
{
    QTimer::singleShot(intervalMs, context, [context, placed, show, attempts, intervalMs]() {
        if (attempts <= 1 || placed()) {
            show();
            return;
        }
        whenTrayIconPlaced(context, placed, show, attempts - 1, intervalMs);
    });
}

void DataModule::hideTrayIcon()
{
    if (m_trayIcon->isVisible()) {
        m_trayIcon->hide();
    }
}

void DataModule::endApplication()
{
    m_endRequested = true;
    Q_EMIT endApplicationRequested();
}

} // namespace tollbook
