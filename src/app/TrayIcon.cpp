#include "app/TrayIcon.h"

#include "i18n/Language.h"
#include "session/Session.h"
#include "ui/Artwork.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tollbook {

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(this))
    , m_menu(new QMenu)
    , m_restoreAction(new QAction(QStringLiteral("Restaurar"), m_menu))
    , m_finishAction(new QAction(QStringLiteral("&Finalizar"), m_menu))
    , m_balloonTitle(QStringLiteral("Aplicativo Minimizado"))
{
    m_icon->setObjectName(QStringLiteral("TrayIcon1"));
    m_icon->setToolTip(Session::ProductName);
    m_icon->setIcon(Artwork::productIcon());
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    m_restoreAction->setObjectName(QStringLiteral("Restaurar1"));
    m_finishAction->setObjectName(QStringLiteral("Sair1"));
    m_menu->addAction(m_restoreAction);
    m_menu->addSeparator();
    m_menu->addAction(m_finishAction);
    m_icon->setContextMenu(m_menu);

    // A restore hides the icon, which must not happen inside the icon's, its balloon's or its menu's own
    // event handler (the balloon's widget is gone when its handler goes on): the request is queued.
    connect(
        m_icon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                Q_EMIT restoreRequested();
            }
        },
        Qt::QueuedConnection);
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::restoreRequested, Qt::QueuedConnection);
    connect(m_restoreAction, &QAction::triggered, this, &TrayIcon::restoreRequested, Qt::QueuedConnection);
    connect(m_finishAction, &QAction::triggered, this, &TrayIcon::finishRequested);
}

TrayIcon::~TrayIcon()
{
    m_icon->hide();
    m_icon->setContextMenu(nullptr);
    // A menu has no parent object: it is a window of its own.
    delete m_menu;
}

void TrayIcon::retranslate()
{
    const QString code = Language::currentCode();
    if (!Language::isKnownCode(code)) {
        return;
    }
    const Language::TrayTexts texts = Language::trayTexts(code);
    m_balloonTitle = texts.balloonTitle;
    m_restoreAction->setText(texts.restore);
    m_finishAction->setText(texts.finish);
}

void TrayIcon::show()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_icon->show();
    // The balloon points at the icon, which the tray places a moment after it is shown.
    whenTrayIconPlaced(
        m_icon,
        [icon = m_icon]() {
            const QRect place = icon->geometry();
            return place.isValid() && place.topLeft() != QPoint(0, 0);
        },
        [this]() {
            if (m_icon->isVisible()) {
                m_icon->showMessage(m_balloonTitle, Session::ProductName, QSystemTrayIcon::Information);
            }
        });
}

void TrayIcon::hide()
{
    if (m_icon->isVisible()) {
        m_icon->hide();
    }
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

} // namespace tollbook
