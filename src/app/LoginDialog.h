#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tollbook {

class DataModule;

// The login dialog "frmLogin": asks for the administrator's login name and password when the login is
// switched on in the configuration row. One instance at a time: instance() is the open one, if any.
//
// OK compares with the configuration row as it stands when OK is pressed and accepts the dialog on a
// match; the caller then restores the application. "Fechar" (or Escape) ends the application as long as
// it has never been restored from the notification area, and only closes the dialog afterwards.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialog(DataModule* dataModule, QWidget* parent = nullptr);
    ~LoginDialog() override;

    // The login dialog now open; nullptr when there is none.
    static LoginDialog* instance();

    // The login rule: names compare with the letters a to z upper-cased only, passwords exactly.
    static bool matches(const QString& storedLogin, const QString& storedPassword, const QString& login,
                        const QString& password);

    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void okClicked();
    void openSite();

    DataModule* m_dataModule;
    QLabel* m_loginLabel;
    QLineEdit* m_loginEdit;
    QLabel* m_passwordLabel;
    QLineEdit* m_passwordEdit;
    QLabel* m_siteLabel;
    QPushButton* m_okButton;
    QPushButton* m_closeButton;
};

} // namespace tollbook
