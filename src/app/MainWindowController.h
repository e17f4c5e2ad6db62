#pragma once

#include <QObject>
#include <QString>

namespace tollbook {

class DataModule;
class MainWindow;
class MonitoringCycle;
class TrayIcon;

// Drives the main window through its life: the first showing (login, views, capture agent, language,
// status bar, timers), the monitoring tick, minimising to and restoring from the notification area, the
// exit confirmation and the tray's "Finalizar". The menu's commands are the command objects' (commands/).
class MainWindowController : public QObject
{
    Q_OBJECT

public:
    MainWindowController(DataModule* dataModule, TrayIcon* tray, MainWindow* window, QObject* parent = nullptr);
    ~MainWindowController() override;

    MainWindow* window() const { return m_window; }
    // The monitoring cycle run by the main window's monitoring timer.
    MonitoringCycle* monitoring() const { return m_monitoring; }

    // The name the running agents are found by (the installation's and the monitoring's). Tests give a name
    // of their own, so that the agents of the machine are left alone.
    void setAgentName(const QString& agent);

    // Shows the main window; the first time, runs its first showing. A failing step is reported through
    // the error handler and ends the first showing there; repainting is resumed in any case.
    void showMainWindow();
    bool firstShowingDone() const { return m_firstShowingDone; }

    // The exit confirmation asked by every close of the main window. Yes ends the application (an import
    // under way rolled back, agent terminated, timers stopped; the journal files stay and are imported by
    // the next start); No minimises it to the notification area and refuses the close.
    bool closeQuery();

    // Hides the main window behind the notification icon, or minimises it where there is no notification
    // area to come back from.
    void minimizeToTray();
    // Hides the notification icon, shows the main window normally and brings it to the front.
    void restoreApplication();
    // "Restaurar" of the icon (also its click, double click and balloon click): through the login
    // dialog when the login is switched on.
    void restoreFromTray();
    // "Finalizar" of the icon's menu: ends without asking, as Yes to the exit question does.
    void finishFromTray();

    // Status bar panel 2: the count of today's jobs in the current language.
    void updateTodayCount();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runFirstShowing();
    bool runStartupLogin();
    void reopenViews();
    void takeCaptureRole();
    void endCapture();
    bool runLoginDialog();

    DataModule* m_dataModule;
    TrayIcon* m_tray;
    MainWindow* m_window;
    MonitoringCycle* m_monitoring;
    bool m_firstShowingDone = false;
    bool m_inFirstShowing = false;
    bool m_askingClose = false;
};

} // namespace tollbook
