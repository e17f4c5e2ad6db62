#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tollbook {

// The notification-area icon the application goes to when its window is hidden: its menu ("Restaurar",
// "Finalizar") and the balloon shown when it appears. The object names are those the language files address.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    QSystemTrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }
    QAction* restoreAction() const { return m_restoreAction; }
    QAction* finishAction() const { return m_finishAction; }
    QString balloonTitle() const { return m_balloonTitle; }

    // Shows the icon and its balloon; nothing where the desktop has no notification area.
    void show();
    void hide();
    // The menu's and the balloon's texts in the current language, when it is one the application knows.
    void retranslate();

Q_SIGNALS:
    // The icon or its menu asked to restore the application (click, double click, balloon, "Restaurar").
    void restoreRequested();
    // The icon's menu asked to end without confirmation.
    void finishRequested();

private:
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
    QAction* m_restoreAction;
    QAction* m_finishAction;
    QString m_balloonTitle;
};

// Runs show once placed() tells that the notification icon has its place on the screen, asking every
// intervalMs milliseconds, or after attempts asks at the latest; never when context is gone by then. A
// balloon shown before the tray has embedded the icon has no place to point at and appears at the
// screen's top-left corner.
void whenTrayIconPlaced(QObject* context, std::function<bool()> placed, std::function<void()> show, int attempts = 40,
                        int intervalMs = 50);

} // namespace tollbook
