#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tollbook {

// One running copy per user session. The first copy listens on a local socket of the main window's class
// name; a later copy finds it there, asks it to come forward and ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static inline const QString DefaultName = QStringLiteral("TfrmTBKPrincipal");

    // The main window's class name, followed by the user and the display: copies of other users, or on
    // another display, are not this session's copy.
    static QString sessionName();

    explicit SingleInstance(const QString& name = sessionName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // False when another copy is running. Otherwise this copy becomes the one that later copies find; a
    // socket left behind by a copy that crashed is taken over. When the socket cannot be created at all the
    // application still starts (true), it only cannot be found by later copies.
    bool claim();

    // Asks the running copy to bring its main window forward.
    void activateRunning();

Q_SIGNALS:
    // A later copy asked this one to come forward.
    void activationRequested();

private:
    void acceptConnections();

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace tollbook
