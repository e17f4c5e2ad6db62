// The purge dialog: empty pickers, the question naming the count and the period, the completion naming the
// count deleted, the dialog staying open, and a long purge that keeps the event loop running without
// letting the dialog close or start a second purge meanwhile.

#include "common/DatabaseFixture.h"
#include "common/ModalHelper.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "maintenance/PurgeDialog.h"
#include "ui/widgets/DatePicker.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace tollbook;

namespace {

int jobCount()
{
    return DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM Impressao")).toInt();
}

// n jobs on the day, one a second from 08:00.
void addJobsOn(const QDate& day, int n)
{
    QSqlDatabase db = QSqlDatabase::database(Database::ConnectionName);
    QVERIFY(db.transaction());
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id,"
                                          " Print_Pages, dmPaperSize, Print_Color) VALUES ('HP1', ?, ?, 'Bruno', 1, 9,"
                                          " 'N')")));
    const QDateTime start(day, QTime(8, 0));
    for (int i = 0; i < n; ++i) {
        insert.bindValue(0, day.toString(Qt::ISODate));
        insert.bindValue(1, start.addSecs(i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QVERIFY(insert.exec());
    }
    QVERIFY(db.commit());
}

} // namespace

class TestPurgeDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void pickersStartEmpty();
    void purge_data();
    void purge();
    void refusedQuestionDeletesNothing();
    void longPurgeKeepsTheLoopRunning();

private:
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<PurgeDialog> m_dialog;
};

void TestPurgeDialog::initTestCase()
{
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    Language::setCurrentCode(QStringLiteral("pt_BR"));
}

void TestPurgeDialog::init()
{
    m_db = std::make_unique<DatabaseFixture>();
    addPeriodJobs();
    m_dialog = std::make_unique<PurgeDialog>();
    // Modal itself: the boxes it opens are the modal windows to answer, not the dialog.
    m_dialog->setProperty(ModalHelper::detail::HandledProperty, true);
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void TestPurgeDialog::cleanup()
{
    m_dialog.reset();
    m_db.reset();
}

void TestPurgeDialog::pickersStartEmpty()
{
    for (const DatePicker* picker : { m_dialog->startPicker(), m_dialog->endPicker() }) {
        QVERIFY(picker->text().trimmed().isEmpty());
        QCOMPARE(picker->date(), QDate(1899, 12, 30));
    }
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Manutenção da Base de Dados"));
    QVERIFY(m_dialog->progressBar()->isHidden());
}

void TestPurgeDialog::purge_data()
{
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("completion");
    QTest::addColumn<int>("left");

    const QString undone = QStringLiteral(" Esta operação não pode ser desfeita.");
    QTest::newRow("jobs on both bound days")
        << QDate(2019, 12, 31) << QDate(2020, 1, 1)
        << "Excluir 4 impressão(ões) do período de 31/12/2019 a 01/01/2020?" + undone
        << "Limpeza da base de dados concluída: 4 impressão(ões) excluída(s)." << 3;
    QTest::newRow("neither date chosen") << QDate() << QDate()
                                         << "Excluir 0 impressão(ões) do período de 30/12/1899 a 30/12/1899?" + undone
                                         << "Limpeza da base de dados concluída: 0 impressão(ões) excluída(s)." << 7;
    QTest::newRow("start after end") << QDate(2020, 1, 2) << QDate(2019, 12, 31)
                                     << "Excluir 0 impressão(ões) do período de 02/01/2020 a 31/12/2019?" + undone
                                     << "Limpeza da base de dados concluída: 0 impressão(ões) excluída(s)." << 7;
}

// Yes deletes the jobs the question counted and the completion says how many; the dialog stays open.
void TestPurgeDialog::purge()
{
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(QString, question);
    QFETCH(QString, completion);
    QFETCH(int, left);

    // No date: the picker as it opens.
    if (first.isValid()) {
        m_dialog->startPicker()->setDate(first);
    }
    if (last.isValid()) {
        m_dialog->endPicker()->setDate(last);
    }
    const auto asked = ModalHelper::answerNext(MessageBox::Answer::Yes);
    auto told = std::make_shared<ModalHelper::Handle>(ModalHelper::Handle(std::make_shared<ModalHelper::BoxRecord>()));
    // The completion comes after the question: answer it once the question is gone.
    QTimer::singleShot(0, this, [&] { *told = ModalHelper::answerNext(MessageBox::Answer::Ok); });
    QTest::mouseClick(m_dialog->purgeButton(), Qt::LeftButton);

    QVERIFY(asked.shown());
    QCOMPARE(asked.text(), question);
    QCOMPARE(asked.icon(), QMessageBox::Question);
    QVERIFY(told->shown());
    QCOMPARE(told->text(), completion);
    QCOMPARE(told->icon(), QMessageBox::Information);
    QCOMPARE(jobCount(), left);
    QVERIFY(m_dialog->isVisible());
    QVERIFY(m_dialog->purgeButton()->isEnabled());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPurgeDialog::refusedQuestionDeletesNothing()
{
    m_dialog->startPicker()->setDate(QDate(2019, 1, 1));
    m_dialog->endPicker()->setDate(QDate(2020, 12, 31));
    const auto asked = ModalHelper::answerNext(MessageBox::Answer::No);
    const auto nothingMore = ModalHelper::answerNext(MessageBox::Answer::Ok);
    m_dialog->purge();
    QVERIFY(asked.shown());
    QTest::qWait(50);
    QVERIFY(!nothingMore.shown());
    QCOMPARE(jobCount(), 7);
    QVERIFY(m_dialog->isVisible());
}

// Tens of thousands of jobs go in several batches. Between them the event loop runs: the progress bar shows
// how far the purge is, while a second "Limpar" and the close box wait; the purge deletes the count once.
void TestPurgeDialog::longPurgeKeepsTheLoopRunning()
{
    const QDate day(2021, 3, 1);
    addJobsOn(day, 20000);
    m_dialog->startPicker()->setDate(day);
    m_dialog->endPicker()->setDate(day);

    int turns = 0;
    int largestShown = 0;
    QTimer during;
    during.setInterval(1);
    connect(&during, &QTimer::timeout, this, [&] {
        if (!m_dialog->isPurging()) {
            return;
        }
        ++turns;
        largestShown = std::max(largestShown, m_dialog->progressBar()->value());
        QVERIFY(m_dialog->progressBar()->isVisible());
        QVERIFY(!m_dialog->purgeButton()->isEnabled());
        m_dialog->purge();  // ignored: one purge at a time
        m_dialog->reject(); // ignored until the purge has ended
    });
    during.start();
    const auto asked = ModalHelper::answerNext(MessageBox::Answer::Yes);
    auto told = std::make_shared<ModalHelper::Handle>(ModalHelper::Handle(std::make_shared<ModalHelper::BoxRecord>()));
    QTimer::singleShot(0, this, [&] { *told = ModalHelper::answerNext(MessageBox::Answer::Ok); });
    m_dialog->purge();
    during.stop();

    QVERIFY(asked.text().startsWith(QStringLiteral("Excluir 20.000 impressão(ões) do período de 01/03/2021")));
    QVERIFY2(turns > 1, qPrintable(QString::number(turns)));
    QVERIFY(largestShown > 0 && largestShown <= 20000);
    QCOMPARE(told->text(), QStringLiteral("Limpeza da base de dados concluída: 20.000 impressão(ões) excluída(s)."));
    QCOMPARE(jobCount(), 7);
    QVERIFY(m_dialog->isVisible());
    QVERIFY(m_dialog->progressBar()->isHidden());
}

QTEST_MAIN(TestPurgeDialog)
#include "tst_purgedialog.moc"
