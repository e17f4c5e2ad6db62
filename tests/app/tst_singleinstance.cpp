#include "platform/SingleInstance.h"

#include <QtTest>

#include <QDir>
#include <QLocalServer>

using namespace tollbook;

// Each test listens under a name of its own, so a Tollbook running on the machine is never disturbed.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { QLocalServer::removeServer(m_name); }
    void laterCopyFindsTheFirst();
    void nameIsFreedWhenTheFirstEnds();
    void takesOverASocketLeftBehind();

private:
    QString m_name;
};

void TestSingleInstance::init()
{
    m_name = QStringLiteral("tst_singleinstance-%1-%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(QString::fromLatin1(QTest::currentTestFunction()));
}

void TestSingleInstance::laterCopyFindsTheFirst()
{
    SingleInstance first(m_name);
    QVERIFY(first.claim());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    SingleInstance second(m_name);
    QVERIFY(!second.claim());
    QCOMPARE(activated.count(), 0); // finding the first copy alone does not bring it forward
    second.activateRunning();
    QTRY_COMPARE(activated.count(), 1);
}

void TestSingleInstance::nameIsFreedWhenTheFirstEnds()
{
    {
        SingleInstance first(m_name);
        QVERIFY(first.claim());
    }
    SingleInstance next(m_name);
    QVERIFY(next.claim());
}

void TestSingleInstance::takesOverASocketLeftBehind()
{
    // What a copy that crashed leaves: the socket's file with nobody listening.
    QFile stale(QDir(QDir::tempPath()).filePath(m_name));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();

    SingleInstance first(m_name);
    QVERIFY(first.claim());
    SingleInstance second(m_name);
    QVERIFY(!second.claim());
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
