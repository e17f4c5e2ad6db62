#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tollbook {

class Session;
class TollMail;
class Dataset;
class Field;

// The configuration dialog "frmConfiguracao": edits the one row of Configuracao through a query of its own
// (the administrator's login and password, the login switch, the sender address and the SMTP account) and
// sends a test message through the mail sender it is given.
//
// A changed password is asked again before it is saved (on leaving its edit, and before "Salvar" or the
// test save the row); a confirmation that differs, or is cancelled, keeps the password stored before. On
// closing, the session's own query on Configuracao is read anew, so that the login and the mailing see
// what was saved; changes not saved by then are dropped.
class ConfigurationDialog : public QDialog
{
    Q_OBJECT

public:
    ConfigurationDialog(Session* session, TollMail* mail, QWidget* parent = nullptr);

    Dataset* configuration() const { return m_configuration; }

    void save();     // "Salvar"
    void testSmtp(); // "Efetuar Teste"

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindEdit(QLineEdit* edit, const QString& fieldName);
    void bindCheckBox(QCheckBox* box, const QString& fieldName);
    void refreshControls();
    void startEditing();
    void setFieldValue(const QString& fieldName, const QVariant& value);
    // The row is saved and the password it holds becomes the stored one.
    void post();
    // Asks for a changed password again. False after a confirmation that differs or was cancelled: the
    // stored password is back in the field, the row is saved with it, and the focus is on the password.
    bool confirmPassword();
    bool passwordChanged() const;
    void reopenSharedConfiguration();
    void fitToTexts();

    Session* m_session;
    TollMail* m_mail;
    Dataset* m_configuration = nullptr;
    QString m_storedPassword;
    bool m_confirming = false;
    bool m_refreshing = false;

    QTabWidget* m_pages = nullptr;
    QLineEdit* m_loginEdit = nullptr;    // DBEdit1
    QLineEdit* m_passwordEdit = nullptr; // DBEdit2
    QComboBox* m_loginSwitch = nullptr;  // wwDBComboBox1
    QLineEdit* m_testAddressEdit = nullptr;
    QPushButton* m_testButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QList<std::pair<QLineEdit*, QString>> m_edits;
    QList<std::pair<QCheckBox*, QString>> m_checkBoxes;
};

} // namespace tollbook
