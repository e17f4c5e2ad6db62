#include "platform/SingleInstance.h"

#include <QRegularExpression>

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>

namespace tollbook {

namespace {

const QByteArray ActivateRequest = QByteArrayLiteral("activate\n");
// Both sides are on this machine; a copy that does not answer within this is as good as gone.
constexpr int SocketTimeout = 2000;

} // namespace

QString SingleInstance::sessionName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    if (display.isEmpty()) {
        display = QStringLiteral("none");
    }
    // The name becomes a file name in the temporary folder.
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return DefaultName + QLatin1Char('-') + QString::number(::getuid()) + QLatin1Char('-') + display;
}

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name)
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    {
        QLocalSocket probe;
        probe.connectToServer(m_name);
        if (probe.waitForConnected(SocketTimeout)) {
            probe.disconnectFromServer();
            return false;
        }
    }
    // Nobody answers: whatever is left under the name belongs to a copy that is gone.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        qWarning("Single instance: cannot listen on %s: %s", qPrintable(m_name), qPrintable(m_server->errorString()));
        return true;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::activateRunning()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(SocketTimeout)) {
        return;
    }
    socket.write(ActivateRequest);
    socket.waitForBytesWritten(SocketTimeout);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(SocketTimeout);
    }
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() {
            if (socket->readAll().contains(ActivateRequest.trimmed())) {
                Q_EMIT activationRequested();
            }
        });
    }
}

} // namespace tollbook
