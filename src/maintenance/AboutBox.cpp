#include "maintenance/AboutBox.h"

#include "maintenance/LinkLabel.h"
#include "maintenance/Maker.h"
#include "maintenance/ProductPicture.h"
#include "platform/SystemRoutines.h"
#include "ui/widgets/Panel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <utility>

namespace tollbook {

namespace {

template<typename Widget>
Widget* named(Widget* widget, const char* name, const QRect& geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
    , m_versionText(&GetVersionText)
    , m_is64Bit(&IsWindows64Bit)
    , m_panel(named(new Panel(this), "Panel1", QRect(8, 8, 281, 193)))
    , m_programIcon(named(new QLabel(m_panel), "ProgramIcon", QRect(8, 8, 96, 73)))
    , m_productName(named(new QLabel(QStringLiteral("Tollbook"), m_panel), "ProductName", QRect(112, 12, 160, 24)))
    , m_version(named(new QLabel(m_panel), "lbVersao", QRect(112, 40, 160, 17)))
    , m_release(named(new QLabel(m_panel), "lbRelease", QRect(112, 60, 160, 17)))
    , m_notice(named(new QLabel(Maker::NoticeLine, m_panel), "Copyright", QRect(8, 88, 265, 34)))
    , m_site(named(new LinkLabel(Maker::SiteAddress, QUrl(QStringLiteral("https://") + Maker::SiteAddress), m_panel),
                   "lbSite", QRect(8, 124, 265, 17)))
    , m_email(
          named(new LinkLabel(Maker::SupportAddress, QUrl(QStringLiteral("mailto:") + Maker::SupportAddress), m_panel),
                "lbEmail", QRect(8, 144, 265, 17)))
    , m_windows(named(new QLabel(m_panel), "lbWindows", QRect(8, 168, 265, 17)))
    , m_ok(named(new QPushButton(QStringLiteral("OK"), this), "OKButton", QRect(111, 214, 75, 26)))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Sobre"));
    setModal(true);
    setFixedSize(298, 250);

    // Bevelled: raised inside a lowered edge.
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel->setLineWidth(1);
    m_panel->setMidLineWidth(1);

    m_programIcon->setPixmap(productPicture(m_programIcon->size()));
    QFont productFont = m_productName->font();
    productFont.setBold(true);
    productFont.setPointSizeF(productFont.pointSizeF() * 1.5);
    m_productName->setFont(productFont);
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::setVersionSource(std::function<QString()> source)
{
    m_versionText = std::move(source);
}

void AboutBox::setBitnessSource(std::function<bool()> is64Bit)
{
    m_is64Bit = std::move(is64Bit);
}

void AboutBox::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        setUp();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void AboutBox::setUp()
{
    const QString version = m_versionText();
    m_version->setText(QStringLiteral("Version: ") + version.left(4));
    m_release->setText(QStringLiteral("Release: ") + version);
    m_windows->setText(m_is64Bit() ? QStringLiteral("Windows 64 bits") : QStringLiteral("Windows 32 bits"));
}

} // namespace tollbook
