#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace tollbook {

class LinkLabel;
class Panel;

// The About box ("frmAbout"): product name, version and release, the maker's notice, web site and support
// mail, and the operating system's bitness. Its captions are the same in every language: it has no window
// file.
class AboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr);

    // Where the version text and the bitness come from; GetVersionText() and IsWindows64Bit() unless
    // replaced (tests). Read each time the box is shown.
    void setVersionSource(std::function<QString()> source);
    void setBitnessSource(std::function<bool()> is64Bit);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setUp();

    std::function<QString()> m_versionText;
    std::function<bool()> m_is64Bit;
    Panel* m_panel;
    QLabel* m_programIcon;
    QLabel* m_productName;
    QLabel* m_version;
    QLabel* m_release;
    QLabel* m_notice;
    LinkLabel* m_site;
    LinkLabel* m_email;
    QLabel* m_windows;
    QPushButton* m_ok;
};

} // namespace tollbook
