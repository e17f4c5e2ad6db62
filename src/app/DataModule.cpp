#include "app/DataModule.h"

#include "app/Artwork.h"
#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "mail/TollMail.h"
#include "session/Session.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/ModalWait.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tollbook {

DataModule::DataModule(const QString& installFolder, QObject* parent)
    : QObject(parent)
    , m_session(installFolder)
    , m_tollMail(new TollMail(this))
    , m_trayIcon(new QSystemTrayIcon(this))
    , m_trayMenu(new QMenu)
    , m_restoreAction(new QAction(QStringLiteral("Restaurar"), m_trayMenu))
    , m_finishAction(new QAction(QStringLiteral("&Finalizar"), m_trayMenu))
    , m_balloonTitle(QStringLiteral("Aplicativo Minimizado"))
{
    setObjectName(QStringLiteral("Tdm"));

    m_tollMail->setObjectName(QStringLiteral("TollMail1"));
    m_tollMail->notifySuccess = false;
    m_tollMail->setVersion(QStringLiteral("2.0.0.0"));
    m_tollMail->setReporter([](TollMail::Notice kind, const QString& text) {
        MessageBox::show(kind == TollMail::Notice::Information ? BoxKind::Information : BoxKind::Warning, text,
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
}

bool DataModule::create()
{
    QCoreApplication::setApplicationName(ProductName);
    if (!m_session.configure()) {
        endApplication();
        return false;
    }
    try {
        m_session.connect();
        QCoreApplication::processEvents();
        m_session.checkVersion();
        m_session.createJobsFolder();
        applyLanguageSetup();
    } catch (const VersionMismatch& mismatch) {
        MessageBox::show(BoxKind::Error, mismatch.message(), MessageBox::Buttons::Ok);
        endApplication();
        return false;
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
    return true;
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
