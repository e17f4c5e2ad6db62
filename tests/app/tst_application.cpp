#include "app/Application.h"
#include "common/ModalHelper.h"
#include "platform/Errors.h"

#include <QtTest>

#include <functional>

using namespace tollbook;
using MessageBox::Answer;

namespace {

using Thrower = std::function<void()>;

// An object whose handling of one event fails.
class Failing : public QObject
{
public:
    explicit Failing(Thrower raise)
        : m_raise(std::move(raise))
    {
    }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User) {
            m_raise();
        }
        return QObject::event(event);
    }

private:
    Thrower m_raise;
};

} // namespace

class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void errorsStopAtTheEventLoop_data();
    void errorsStopAtTheEventLoop();
    void sentEventReportsFailure();
};

void TestApplication::errorsStopAtTheEventLoop_data()
{
    QTest::addColumn<Thrower>("raise");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain error") << Thrower([] { throw PlainError(QStringLiteral("Pasta inexistente")); }) << true
                                 << QStringLiteral("ATENÇÃO \n\nPasta inexistente");
    QTest::newRow("driver error") << Thrower([] { throw DriverError(QStringLiteral("no such table: Impressao")); })
                                  << true << QStringLiteral("ATENÇÃO \n\nno such table: Impressao");
    QTest::newRow("not a std::exception")
        << Thrower([] { throw 7; }) << true << QStringLiteral("ATENÇÃO \n\nUnknown error");
    QTest::newRow("silent abort") << Thrower([] { throw SilentAbort(); }) << false << QString();
}

// A timer tick that fails is reported, and the loop goes on delivering the events behind it.
void TestApplication::errorsStopAtTheEventLoop()
{
    QFETCH(Thrower, raise);
    QFETCH(bool, shown);
    QFETCH(QString, text);

    const auto box = ModalHelper::answerNext(Answer::Ok);
    bool nextDelivered = false;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, raise);
    QTimer::singleShot(0, &loop, [&] {
        nextDelivered = true;
        loop.quit();
    });
    loop.exec();

    QVERIFY(nextDelivered);
    QCOMPARE(box.shown(), shown);
    QCOMPARE(box.text(), text);
}

void TestApplication::sentEventReportsFailure()
{
    Failing target([] { throw DatabaseError(QStringLiteral("No current record")); });
    const auto box = ModalHelper::answerNext(Answer::Ok);
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&target, &event));
    QCOMPARE(box.text(), QStringLiteral("ATENÇÃO \n\nNo current record"));
}

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
