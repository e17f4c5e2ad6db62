#include "maintenance/AboutBox.h"

#include "maintenance/LinkLabel.h"
#include "maintenance/UrlOpener.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace tollbook;

class AboutBoxTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void showsVersionReleaseAndBitness_data();
    void showsVersionReleaseAndBitness();
    void readsItsSourcesAgainAtEachShowing();
    void fixedFrameAndOkClosesIt();
    void linkLabels_data();
    void linkLabels();

private:
    static QString text(const QDialog& box, const char* name);
    QList<QUrl> m_opened;
};

void AboutBoxTest::init()
{
    m_opened.clear();
    setUrlOpener([this](const QUrl& url) {
        m_opened << url;
        return true;
    });
}

void AboutBoxTest::cleanup()
{
    setUrlOpener({});
}

QString AboutBoxTest::text(const QDialog& box, const char* name)
{
    const auto* label = box.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

void AboutBoxTest::showsVersionReleaseAndBitness_data()
{
    QTest::addColumn<QString>("versionText");
    QTest::addColumn<bool>("is64Bit");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("windows");

    QTest::newRow("two-digit major") << "10.2.0.1" << true << "Version: 10.2"
                                     << "Release: 10.2.0.1"
                                     << "Windows 64 bits";
    // Four characters of a one-digit major end in the point.
    QTest::newRow("one-digit major") << "5.0.0.2" << false << "Version: 5.0."
                                     << "Release: 5.0.0.2"
                                     << "Windows 32 bits";
    QTest::newRow("shorter than four") << "7" << true << "Version: 7"
                                       << "Release: 7"
                                       << "Windows 64 bits";
    QTest::newRow("empty") << "" << false << "Version: "
                           << "Release: "
                           << "Windows 32 bits";
}

void AboutBoxTest::showsVersionReleaseAndBitness()
{
    QFETCH(QString, versionText);
    QFETCH(bool, is64Bit);

    AboutBox box;
    box.setVersionSource([versionText] { return versionText; });
    box.setBitnessSource([is64Bit] { return is64Bit; });
    box.show();

    QTEST(text(box, "lbVersao"), "version");
    QTEST(text(box, "lbRelease"), "release");
    QTEST(text(box, "lbWindows"), "windows");
    QCOMPARE(text(box, "ProductName"), QStringLiteral("Tollbook"));
}

void AboutBoxTest::readsItsSourcesAgainAtEachShowing()
{
    QString versionText = QStringLiteral("5.0.0.2");
    bool is64Bit = true;
    AboutBox box;
    box.setVersionSource([&versionText] { return versionText; });
    box.setBitnessSource([&is64Bit] { return is64Bit; });
    box.show();
    box.hide();

    versionText = QStringLiteral("6.1.0.3");
    is64Bit = false;
    box.show();
    QCOMPARE(text(box, "lbVersao"), QStringLiteral("Version: 6.1."));
    QCOMPARE(text(box, "lbRelease"), QStringLiteral("Release: 6.1.0.3"));
    QCOMPARE(text(box, "lbWindows"), QStringLiteral("Windows 32 bits"));
}

void AboutBoxTest::fixedFrameAndOkClosesIt()
{
    AboutBox box;
    box.setVersionSource([] { return QStringLiteral("5.0.0.2"); });
    box.show();
    QCOMPARE(box.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(box.windowTitle(), QStringLiteral("Sobre"));
    QCOMPARE(box.size(), QSize(298, 250));
    QCOMPARE(box.minimumSize(), box.maximumSize());

    auto* panel = box.findChild<QWidget*>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(panel->size(), QSize(281, 193));
    for (const char* name :
         { "ProgramIcon", "ProductName", "lbVersao", "lbRelease", "lbSite", "lbEmail", "lbWindows" }) {
        auto* child = panel->findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(child, name);
        QVERIFY2(panel->rect().contains(child->geometry()), name);
    }
    auto* icon = panel->findChild<QLabel*>(QStringLiteral("ProgramIcon"));
    QVERIFY(!icon->pixmap().isNull());

    auto* ok = box.findChild<QPushButton*>(QStringLiteral("OKButton"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QVERIFY(box.rect().contains(ok->geometry()));

    QTest::keyClick(&box, Qt::Key_Return);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void AboutBoxTest::linkLabels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QUrl>("target");
    QTest::newRow("web site") << "lbSite" << QUrl(QStringLiteral("https://www.tollbook.example"));
    QTest::newRow("support mail") << "lbEmail" << QUrl(QStringLiteral("mailto:suporte@tollbook.example"));
}

void AboutBoxTest::linkLabels()
{
    QFETCH(QString, name);
    QFETCH(QUrl, target);

    AboutBox box;
    box.show();
    auto* link = box.findChild<LinkLabel*>(name);
    QVERIFY(link);
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QVERIFY(!link->font().underline());

    QTest::mouseMove(link, link->rect().center());
    QVERIFY(link->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    QVERIFY(!link->font().underline());

    // A press that ends outside the label is no click.
    QTest::mousePress(link, Qt::LeftButton, {}, link->rect().center());
    QTest::mouseRelease(link, Qt::LeftButton, {}, link->rect().bottomRight() + QPoint(5, 5));
    QVERIFY(m_opened.isEmpty());

    QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
    QCOMPARE(m_opened, QList<QUrl>{ target });
    QVERIFY(box.isVisible());
}

QTEST_MAIN(AboutBoxTest)
#include "tst_aboutbox.moc"
