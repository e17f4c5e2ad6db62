#include "common/ModalHelper.h"
#include "platform/MessageBoxTexts.h"
#include "ui/MessageBox.h"

#include <QtTest>

using namespace tollbook;
using MessageBox::Answer;
using MessageBox::Buttons;

Q_DECLARE_METATYPE(tollbook::BoxKind)
Q_DECLARE_METATYPE(tollbook::MessageBox::Answer)
Q_DECLARE_METATYPE(tollbook::MessageBox::Buttons)

class TestMessageBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { MessageBoxTexts::reset(); }
    void kindsAndAnswers_data();
    void kindsAndAnswers();
    void captionsFollowTheTexts();
    void carriageReturnsBreakLines();
    void ownTitleHasNoIcon();
    void isApplicationModalAndNamed();
    void unattendedTakesTheEscapeAnswer();
};

void TestMessageBox::kindsAndAnswers_data()
{
    QTest::addColumn<BoxKind>("kind");
    QTest::addColumn<Buttons>("buttons");
    QTest::addColumn<Answer>("press");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<Answer>("result");

    const QStringList ok{ QStringLiteral("OK") };
    const QStringList yesNo{ QStringLiteral("&Yes"), QStringLiteral("&No") };
    const QStringList okCancel{ QStringLiteral("OK"), QStringLiteral("Cancel") };

    QTest::newRow("warning ok") << BoxKind::Warning << Buttons::Ok << Answer::Ok << QMessageBox::Warning
                                << QStringLiteral("Warning") << ok << true << Answer::Ok;
    QTest::newRow("error ok") << BoxKind::Error << Buttons::Ok << Answer::Ok << QMessageBox::Critical
                              << QStringLiteral("Error") << ok << true << Answer::Ok;
    QTest::newRow("information ok") << BoxKind::Information << Buttons::Ok << Answer::Ok << QMessageBox::Information
                                    << QStringLiteral("Information") << ok << true << Answer::Ok;
    QTest::newRow("confirm yes") << BoxKind::Confirmation << Buttons::YesNo << Answer::Yes << QMessageBox::Question
                                 << QStringLiteral("Confirm") << yesNo << true << Answer::Yes;
    QTest::newRow("confirm no") << BoxKind::Confirmation << Buttons::YesNo << Answer::No << QMessageBox::Question
                                << QStringLiteral("Confirm") << yesNo << true << Answer::No;
    QTest::newRow("ok cancel, ok") << BoxKind::Warning << Buttons::OkCancel << Answer::Ok << QMessageBox::Warning
                                   << QStringLiteral("Warning") << okCancel << true << Answer::Ok;
    QTest::newRow("ok cancel, cancel") << BoxKind::Warning << Buttons::OkCancel << Answer::Cancel
                                       << QMessageBox::Warning << QStringLiteral("Warning") << okCancel << true
                                       << Answer::Cancel;
    // Escaping a box answers its safe button.
    QTest::newRow("yes no, escaped") << BoxKind::Confirmation << Buttons::YesNo << Answer::Cancel
                                     << QMessageBox::Question << QStringLiteral("Confirm") << yesNo << false
                                     << Answer::No;
    QTest::newRow("ok cancel, escaped") << BoxKind::Error << Buttons::OkCancel << Answer::Yes << QMessageBox::Critical
                                        << QStringLiteral("Error") << okCancel << false << Answer::Cancel;
    QTest::newRow("ok, escaped") << BoxKind::Information << Buttons::Ok << Answer::No << QMessageBox::Information
                                 << QStringLiteral("Information") << ok << false << Answer::Ok;
}

void TestMessageBox::kindsAndAnswers()
{
    QFETCH(BoxKind, kind);
    QFETCH(Buttons, buttons);
    QFETCH(Answer, press);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, title);
    QFETCH(QStringList, captions);
    QFETCH(bool, answered);
    QFETCH(Answer, result);

    const auto box = ModalHelper::answerNext(press);
    QCOMPARE(MessageBox::show(kind, QStringLiteral("Text"), buttons), result);
    QVERIFY(box.shown());
    QCOMPARE(box.answered(), answered);
    QCOMPARE(box.icon(), icon);
    QCOMPARE(box.title(), title);
    QCOMPARE(box.text(), QStringLiteral("Text"));
    QStringList shownCaptions = box.buttons();
    shownCaptions.sort();
    captions.sort();
    QCOMPARE(shownCaptions, captions);
}

void TestMessageBox::captionsFollowTheTexts()
{
    QVERIFY(MessageBoxTexts::change(MessageBoxText::ConfirmTitle, QStringLiteral("Confirmar")));
    QVERIFY(MessageBoxTexts::change(MessageBoxText::Yes, QStringLiteral("&Sim")));
    QVERIFY(MessageBoxTexts::change(MessageBoxText::No, QStringLiteral("&Não")));

    const auto box = ModalHelper::answerNext(Answer::No);
    QCOMPARE(MessageBox::show(BoxKind::Confirmation, QStringLiteral("Sair?"), Buttons::YesNo), Answer::No);
    QCOMPARE(box.title(), QStringLiteral("Confirmar"));
    QVERIFY(box.buttons().contains(QStringLiteral("&Sim")));
    QVERIFY(box.buttons().contains(QStringLiteral("&Não")));
}

void TestMessageBox::carriageReturnsBreakLines()
{
    const auto box = ModalHelper::answerNext(Answer::Ok);
    MessageBox::show(BoxKind::Warning, QStringLiteral("ATENÇÃO \r\r<b>one</b>\r\ntwo"), Buttons::Ok);
    // Shown as plain text: a database message may hold anything that looks like markup.
    QCOMPARE(box.text(), QStringLiteral("ATENÇÃO \n\n<b>one</b>\ntwo"));
}

void TestMessageBox::ownTitleHasNoIcon()
{
    const auto box = ModalHelper::answerNext(Answer::Ok);
    QCOMPARE(MessageBox::show(QStringLiteral("Tollbook"), QStringLiteral("The Tollbook is running."), Buttons::Ok),
             Answer::Ok);
    QCOMPARE(box.title(), QStringLiteral("Tollbook"));
    QCOMPARE(box.icon(), QMessageBox::NoIcon);
    QCOMPARE(box.text(), QStringLiteral("The Tollbook is running."));
}

void TestMessageBox::isApplicationModalAndNamed()
{
    QWidget window;
    window.show();
    Qt::WindowModality modality = Qt::NonModal;
    QString name;
    const auto token = ModalHelper::onNextModal([&](QWidget* modal) {
        modality = modal->windowModality();
        name = modal->objectName();
        qobject_cast<QMessageBox*>(modal)->buttons().constFirst()->click();
    });
    MessageBox::show(BoxKind::Information, QStringLiteral("Done"), Buttons::Ok, &window);
    QCOMPARE(modality, Qt::ApplicationModal);
    QCOMPARE(name, QStringLiteral("MessageBox"));
}

// Run as a service nobody can answer a box: it must not wait, and it answers as its escape key would.
void TestMessageBox::unattendedTakesTheEscapeAnswer()
{
    qputenv("TOLLBOOK_UNATTENDED", "1");
    const auto answerYesNo =
        MessageBox::show(BoxKind::Confirmation, QStringLiteral("Sair?"), MessageBox::Buttons::YesNo);
    const auto answerOk = MessageBox::show(BoxKind::Error, QStringLiteral("Falhou"), MessageBox::Buttons::Ok);
    qunsetenv("TOLLBOOK_UNATTENDED");
    QCOMPARE(answerYesNo, MessageBox::Answer::No);
    QCOMPARE(answerOk, MessageBox::Answer::Ok);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
