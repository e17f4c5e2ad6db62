#include "ui/SplashWindow.h"

#include "platform/SystemRoutines.h"
#include "ui/Artwork.h"
#include "ui/widgets/ActivityIndicator.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QThread>

namespace tollbook {

namespace {
constexpr int Width = 409;
constexpr int Height = 200;
} // namespace

SplashWindow::SplashWindow(const QString& configPath, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_configPath(configPath)
    , m_picture(Artwork::splashPicture(QSize(Width, Height)))
    , m_indicator(new ActivityIndicator(this))
    , m_loading(new QLabel(QStringLiteral("Loading system"), this))
{
    setObjectName(QStringLiteral("frmAbertura"));
    setWindowTitle(QStringLiteral("Iniciando o Sistema"));
    setFixedSize(Width, Height);

    m_indicator->setObjectName(QStringLiteral("ActivityIndicator1"));
    m_indicator->setGeometry(24, Height - 56, 32, 32);
    m_indicator->setAnimating(true);

    m_loading->setObjectName(QStringLiteral("lbLoading"));
    m_loading->setAttribute(Qt::WA_TranslucentBackground);
    m_loading->setStyleSheet(QStringLiteral("QLabel { color: white; background: transparent; }"));
    m_loading->setGeometry(68, Height - 52, Width - 84, 24);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

QString SplashWindow::loadingText(const QString& code)
{
    if (code == QLatin1String("pt_BR")) {
        return QStringLiteral("Carregando sistema");
    }
    if (code == QLatin1String("en")) {
        return QStringLiteral("Loading system");
    }
    if (code == QLatin1String("es")) {
        return QStringLiteral("Cargando systema");
    }
    return QString();
}

void SplashWindow::showEvent(QShowEvent* event)
{
    const QString text = loadingText(ReadIniValue(m_configPath, QStringLiteral("App"), QStringLiteral("Language")));
    if (!text.isEmpty()) {
        m_loading->setText(text);
    }
    QWidget::showEvent(event);
}

void SplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void SplashWindow::showAndPaint()
{
    show();
    repaint();
    QCoreApplication::processEvents();
}

void SplashWindow::runLoading()
{
    for (int i = 0; i < 6; ++i) {
        m_loading->setText(m_loading->text() + QStringLiteral(" ."));
        QThread::msleep(100);
        repaint();
        QCoreApplication::processEvents();
    }
}

} // namespace tollbook
