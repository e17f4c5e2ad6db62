#pragma once

#include "ui/MainMenu.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tollbook {

class DataModuleDatasets;
class ChartsPage;
class JobsGrid;
class MainWindowDatasets;
class PeriodJobsPage;
class Picture;
class RegistriesPage;
class TodayJobsPage;
class ToggleSwitch;
class UserJobsPage;

// The main window "frmTBKPrincipal": the frame only. Header bar, side pane with the navigation tree, the
// printers list and the monitoring options, the page area hosting the five pages (each a class of its own
// in ui/pages), the status bar and the main menu (built here, handled by the command objects of src/app).
// Pages are changed only through the navigation tree, and only the active page's tab is ever visible.
//
// The window owns its datasets as a child object, so a window file reaches their fields by walking the
// window's children. It owns the monitoring timer "Timer1" (emits monitoringTick(), not started until
// startTimers()) and the one-second clock timer "Timer2", which shows the time of the application's
// Clock in lbHora and counts the refresh countdown down in lbNextRefresh.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(DataModuleDatasets* dataModule, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindowDatasets* datasets() const { return m_datasets; }

    TodayJobsPage* todayJobsPage() const { return m_todayJobs; }
    UserJobsPage* userJobsPage() const { return m_userJobs; }
    PeriodJobsPage* periodJobsPage() const { return m_periodJobs; }
    RegistriesPage* registriesPage() const { return m_registries; }
    ChartsPage* chartsPage() const { return m_charts; }
    // The side pane's printers list "ListBoxPrinters".
    QListWidget* printersList() const { return m_printers; }

    // The installation folder: the print views export below it, and the column layouts of their grids are kept
    // in its Tollbook.ini, read here and written when the window is destroyed.
    void setInstallFolder(const QString& folder);
    QString gridLayoutPath() const;
    // Writes the three grids' layouts; throws PlainError when Tollbook.ini cannot be written.
    void saveGridLayouts() const;
    QList<JobsGrid*> jobGrids() const;
    // How the views open a file they exported.
    void setFileOpener(std::function<void(const QString&)> opener);

    // The main menu's items, for the command objects to connect.
    const MainMenu& menu() const { return m_menu; }

    // Selects the root's child at position 1..5, or the root for 0, and gives the tree the focus; the page of
    // the node is shown. Other positions change nothing.
    void selectNavigationEntry(int position);
    // The texts of the root's five children, in order; the root keeps the product name.
    void setNavigationTexts(const QStringList& fiveTexts);
    // The five texts from the current language's messages ("Principal", "TreeView1.Items<n>.Text").
    void applyNavigationTexts();

    // Status bar panel 2: the count of today's jobs, already formatted.
    void setTodayCountText(const QString& text);
    // Status bar panel 1: the release text as shown ("Release: 5.0.0.2").
    void setReleaseText(const QString& text);
    QString statusPanelText(int panel) const;

    void setDeveloperLabelVisible(bool visible);
    bool isDeveloperLabelVisible() const;

    // Whole seconds until the next monitoring tick. The clock shows it and counts it down by one each second
    // while it is 0 or more, so the display stays at 0 until the countdown is set again.
    void setRefreshCountdown(int seconds);
    int refreshCountdown() const { return m_countdown; }
    // The monitoring period in seconds, as the interval box shows it (20 to 120).
    int monitoringInterval() const;

    // What Timer2 does each second: show the time and count the refresh countdown down.
    void clockTick();

    // Asked by every close of the window (close box, "Sair", a requested close); false refuses the close.
    void setCloseQuery(std::function<bool()> query);

    // The menu item (or a menu's own action) of that component name; nullptr when there is none. For the
    // language files and tests; commands use menu().
    QAction* action(const QString& objectName) const;

    // Starts the clock and, while the monitoring switch is on, the monitoring timer.
    void startTimers();
    void stopTimers();

    bool isSidePaneOpen() const;
    void toggleSidePane();

Q_SIGNALS:
    // Timer1 fired: the monitoring cycle runs its tick.
    void monitoringTick();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* createHeader();
    QWidget* createSidePane();
    QWidget* createOptions();
    QWidget* createPages(DataModuleDatasets* dataModule);
    void createStatusBar();
    void createMenu();
    void createTimers();

    void showPageOfNode(QTreeWidgetItem* node);
    void showOnlyPage(int index);
    void monitoringSwitched(bool on);
    void intervalChanged(int seconds);

    MainWindowDatasets* m_datasets;
    MainMenu m_menu;
    QString m_installFolder;
    std::function<bool()> m_closeQuery;
    int m_countdown = 50;

    Picture* m_imgMenu = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_lbModoDesenv = nullptr;
    QLabel* m_lbHora = nullptr;
    QWidget* m_sidePane = nullptr;
    QTreeWidget* m_tree = nullptr;
    QListWidget* m_printers = nullptr;
    ToggleSwitch* m_monitoringSwitch = nullptr;
    QLineEdit* m_editTimer = nullptr;
    QSpinBox* m_upDown = nullptr;
    QLabel* m_lbNextRefresh = nullptr;
    QTabWidget* m_pages = nullptr;
    TodayJobsPage* m_todayJobs = nullptr;
    UserJobsPage* m_userJobs = nullptr;
    PeriodJobsPage* m_periodJobs = nullptr;
    RegistriesPage* m_registries = nullptr;
    ChartsPage* m_charts = nullptr;
    QList<QLabel*> m_statusPanels;
    QTimer* m_monitoringTimer = nullptr;
    QTimer* m_clockTimer = nullptr;
};

} // namespace tollbook
