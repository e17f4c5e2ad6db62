// The printer dialog and the properties dialog against a private CUPS server: the properties of the
// selected printer, a default changed on the server, a printer that cannot be opened named in a warning,
// and a refused change reported with the dialog left open.

#include "common/CupsFixture.h"
#include "common/ModalHelper.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/Printers.h"
#include "ui/PrinterDialog.h"
#include "ui/PrinterPropertiesDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace tollbook;

namespace {

QStringList labelTexts(const QWidget* window)
{
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

QString mediaDefault(const QString& printer)
{
    for (const PrinterDefault& entry : Printers::system().describe(printer).defaults) {
        if (entry.attribute == QLatin1String("media")) {
            return entry.value;
        }
    }
    return QString();
}

// A print server that describes every printer and refuses every change.
class RefusingPrinters : public Printers
{
public:
    QStringList names() const override { return { QStringLiteral("locked1") }; }
    PrinterDescription describe(const QString& name) const override
    {
        PrinterDescription description;
        description.name = name;
        description.defaults = { { QStringLiteral("sides"),
                                   QStringLiteral("one-sided"),
                                   { QStringLiteral("one-sided"), QStringLiteral("two-sided-long-edge") } } };
        return description;
    }
    void setDefaults(const QString&, const QList<QPair<QString, QString>>&) const override
    {
        throw PlainError(QStringLiteral("Forbidden"));
    }
};

} // namespace

class TestPrinterDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void propertiesOfTheSelectedPrinter();
    void changedDefaultReachesTheServer();
    void printerThatCannotBeOpenedIsNamed();
    void refusedChangeIsReportedAndTheDialogStays();

private:
    CupsFixture m_cups;
    QTemporaryDir m_home;
    QWidget m_owner;
};

void TestPrinterDialogs::initTestCase()
{
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    if (!m_cups.startWithPdfDescription()) {
        QSKIP(qPrintable(m_cups.reason()));
    }
    m_cups.pointClientHere(m_home.path());
    QVERIFY(m_cups.addQueue(QStringLiteral("pdf1"), CupsFixture::GenericPdfPpd));
    QVERIFY(m_cups.addQueue(QStringLiteral("pdf2"), CupsFixture::GenericPdfPpd));
    QVERIFY(m_cups.run(QStringLiteral("lpadmin"), { "-p", "pdf2", "-L", "Sala 9" }));
}

void TestPrinterDialogs::cleanupTestCase()
{
    m_cups.stop();
}

// "Propriedade" shows the selected printer only, with what the server says of it.
void TestPrinterDialogs::propertiesOfTheSelectedPrinter()
{
    PrinterList names;
    PrinterDialog dialog(names.names(), Printers::system(), &m_owner);
    QCOMPARE(dialog.list()->count(), 2);
    dialog.list()->setCurrentRow(1);

    QStringList seen;
    QString title;
    QWidget* parent = nullptr;
    const auto token = ModalHelper::onNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        seen = labelTexts(modal);
        parent = modal->parentWidget();
        static_cast<QDialog*>(modal)->reject();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    QCOMPARE(title, QStringLiteral("Propriedades de pdf2"));
    QVERIFY2(seen.contains(QStringLiteral("Sala 9")), qPrintable(seen.join(QLatin1Char('|'))));
    QVERIFY2(seen.filter(QStringLiteral("PDF")).size() >= 1, qPrintable(seen.join(QLatin1Char('|'))));
    QCOMPARE(parent, &m_owner);
}

void TestPrinterDialogs::changedDefaultReachesTheServer()
{
    PrinterPropertiesDialog dialog(Printers::system().describe(QStringLiteral("pdf1")), Printers::system());
    QComboBox* media = dialog.chooser(QStringLiteral("media"));
    QVERIFY(media);
    QVERIFY(media->isEnabled());
    QVERIFY(dialog.changedDefaults().isEmpty());
    media->setCurrentText(QStringLiteral("iso_a4_210x297mm"));
    QCOMPARE(dialog.changedDefaults(), (QList<QPair<QString, QString>>{ { "media", "iso_a4_210x297mm" } }));

    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(mediaDefault(QStringLiteral("pdf1")), QStringLiteral("iso_a4_210x297mm"));
}

// A printer removed after the names were listed gets a warning that names it, and no properties.
void TestPrinterDialogs::printerThatCannotBeOpenedIsNamed()
{
    QVERIFY(m_cups.addQueue(QStringLiteral("gone1")));
    PrinterList names;
    PrinterDialog dialog(names.names(), Printers::system(), &m_owner);
    QVERIFY(m_cups.run(QStringLiteral("lpadmin"), { "-x", "gone1" }));
    dialog.list()->setCurrentRow(int(names.names().indexOf(QStringLiteral("gone1"))));

    const auto box = ModalHelper::answerNext(MessageBox::Answer::Ok);
    dialog.showProperties();
    QVERIFY(box.shown());
    QVERIFY2(box.text().contains(QStringLiteral("gone1")), qPrintable(box.text()));
    QCOMPARE(box.icon(), QMessageBox::Warning);
}

void TestPrinterDialogs::refusedChangeIsReportedAndTheDialogStays()
{
    const RefusingPrinters printers;
    PrinterPropertiesDialog dialog(printers.describe(QStringLiteral("locked1")), printers);
    dialog.show();
    dialog.chooser(QStringLiteral("sides"))->setCurrentText(QStringLiteral("two-sided-long-edge"));

    const auto box = ModalHelper::answerNext(MessageBox::Answer::Ok);
    dialog.accept();
    QVERIFY(box.shown());
    QVERIFY2(box.text().contains(QStringLiteral("locked1")) && box.text().contains(QStringLiteral("Forbidden")),
             qPrintable(box.text()));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestPrinterDialogs)
#include "tst_printerdialogs.moc"
