#include "common/ModalHelper.h"
#include "platform/Errors.h"
#include "platform/MessageBoxTexts.h"
#include "ui/ErrorHandler.h"

#include <QtTest>

#include <functional>

using namespace tollbook;
using MessageBox::Answer;

namespace {

using Thrower = std::function<void()>;

// Reports the error the way the event loop's guard does: from inside the catch block.
void raiseAndHandle(const Thrower& raise)
{
    try {
        raise();
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
}

const QString JobsFolderMessage = QStringLiteral(
    "Diretório não pode ser criado: /srv/tollbook/jobs. Consulte o Administrador da rede pois seu usuário não tem "
    "permissão para criar esta pasta.");

} // namespace

class TestErrorHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { MessageBoxTexts::reset(); }
    void showsOneBoxPerError_data();
    void showsOneBoxPerError();
    void boxFollowsTheMessageBoxTexts();
};

void TestErrorHandler::showsOneBoxPerError_data()
{
    QTest::addColumn<Thrower>("raise");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("jobs folder: warning")
        << Thrower([] { throw PlainError(JobsFolderMessage); }) << true << QMessageBox::Warning
        << QStringLiteral("Warning") << QStringLiteral("ATENÇÃO \n\n") + JobsFolderMessage;
    QTest::newRow("database check: fragment")
        << Thrower([] { throw DatabaseError(QStringLiteral("Key violation in 'Usuario'")); }) << true
        << QMessageBox::Warning << QStringLiteral("Warning")
        << QStringLiteral("Registro com chave duplicada. Campo 'Usuario'.");
    QTest::newRow("driver: error box") << Thrower([] {
        throw DriverError(QStringLiteral("Key violation in 'Usuario'"));
    }) << true << QMessageBox::Critical << QStringLiteral("Error")
                                       << QStringLiteral("ATENÇÃO \n\nKey violation in 'Usuario'");
    QTest::newRow("standard exception: error box")
        << Thrower([] { throw std::runtime_error("disk full"); }) << true << QMessageBox::Critical
        << QStringLiteral("Error") << QStringLiteral("ATENÇÃO \n\ndisk full");
    QTest::newRow("not a std::exception: error box")
        << Thrower([] { throw 42; }) << true << QMessageBox::Critical << QStringLiteral("Error")
        << QStringLiteral("ATENÇÃO \n\nUnknown error");
    QTest::newRow("silent abort: nothing")
        << Thrower([] { throw SilentAbort(); }) << false << QMessageBox::NoIcon << QString() << QString();
    QTest::newRow("silent database message: nothing") << Thrower([] {
        throw DatabaseError(QStringLiteral("[ASTA Server Error]No user transaction is currently in progress"));
    }) << false << QMessageBox::NoIcon << QString() << QString();
}

void TestErrorHandler::showsOneBoxPerError()
{
    QFETCH(Thrower, raise);
    QFETCH(bool, shown);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, title);
    QFETCH(QString, text);

    const auto box = ModalHelper::answerNext(Answer::Ok);
    raiseAndHandle(raise);
    QCOMPARE(box.shown(), shown);
    if (shown) {
        QVERIFY(box.answered());
        QCOMPARE(box.icon(), icon);
        QCOMPARE(box.title(), title);
        QCOMPARE(box.text(), text);
        QCOMPARE(box.buttons(), QStringList{ QStringLiteral("OK") });
    }
}

void TestErrorHandler::boxFollowsTheMessageBoxTexts()
{
    QVERIFY(MessageBoxTexts::change(MessageBoxText::WarningTitle, QStringLiteral("Atenção")));
    QVERIFY(MessageBoxTexts::change(MessageBoxText::Ok, QStringLiteral("Aceitar")));

    const auto box = ModalHelper::answerNext(Answer::Ok);
    raiseAndHandle([] { throw PlainError(JobsFolderMessage); });
    QVERIFY(box.answered());
    QCOMPARE(box.title(), QStringLiteral("Atenção"));
    QCOMPARE(box.buttons(), QStringList{ QStringLiteral("Aceitar") });
}

QTEST_MAIN(TestErrorHandler)
#include "tst_errorhandler.moc"
