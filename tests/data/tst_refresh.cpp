// A reload keeps the user's place: the current row by its key, the selection, and no reset of the views.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "data/DatasetModel.h"
#include "platform/SystemRoutines.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

using namespace tollbook;

namespace {

const QDate Today(2020, 1, 2);

// Job id at hh:00 of today, by the user of that number.
QString job(int id, int hour)
{
    return QStringLiteral("(%1, 'HP1', '2020-01-02', '2020-01-02 %2:00:00', 'user%1', 1, 9, 'N', 1)")
        .arg(id)
        .arg(hour, 2, 10, QLatin1Char('0'));
}

void insertJobs(const QStringList& rows)
{
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora,"
                                           " Usuario_Id, Print_Pages, dmPaperSize, Print_Color, Projeto_Id) VALUES ") +
                            rows.join(QStringLiteral(", ")) });
}

QList<qint64> ids(Dataset* dataset)
{
    QList<qint64> result;
    const Field* id = dataset->fieldByName(QStringLiteral("Print_Id"));
    for (int row = 0; row < dataset->recordCount(); ++row) {
        result << dataset->storedValue(row, id->index()).toLongLong();
    }
    return result;
}

qint64 currentId(Dataset* dataset)
{
    return dataset->fieldByName(QStringLiteral("Print_Id"))->asInteger();
}

} // namespace

class TestRefresh : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Run a second time with every result of rows held by its keys (see CMakeLists.txt).
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("TOLLBOOK_TEST_PAGED")) {
            Dataset::setDefaultPagedAbove(0);
        }
    }
    void init();
    void cleanup();

    void tickThenMarkAsDelivered();
    void deletedRowMovesToItsNeighbour_data();
    void deletedRowMovesToItsNeighbour();
    void sameRowsAsAReopen_data();
    void sameRowsAsAReopen();
    void registryKeepsItsRow();

private:
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dm;
    std::unique_ptr<MainWindowDatasets> m_main;
    Dataset* m_control = nullptr;
};

void TestRefresh::init()
{
    m_db = std::make_unique<DatabaseFixture>();
    insertJobs({ job(1, 8), job(2, 9), job(3, 10), job(4, 11), job(5, 12) });
    m_dm = std::make_unique<DataModuleDatasets>();
    m_main = std::make_unique<MainWindowDatasets>(m_dm.get());
    m_dm->openStartupDatasets();
    m_control = m_main->todayJobs;
    m_control->setParam(QStringLiteral("Data"), Today);
    m_control->open();
    QCOMPARE(ids(m_control), (QList<qint64>{ 5, 4, 3, 2, 1 })); // newest first
}

void TestRefresh::cleanup()
{
    m_main.reset();
    m_dm.reset();
    m_db.reset();
}

// The operator selects a job; a tick brings two new jobs (and another program removes one); "mark as
// delivered" pressed then marks the job the operator selected.
void TestRefresh::tickThenMarkAsDelivered()
{
    DatasetModel model(m_control);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QItemSelectionModel selection(&model);
    QVERIFY(m_control->locate(QStringLiteral("Print_Id"), 3));
    selection.setCurrentIndex(model.index(m_control->recNo(), 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

    insertJobs({ job(6, 13), job(7, 14) });
    DatabaseFixture::exec({ QStringLiteral("DELETE FROM Impressao WHERE Print_Id = 4") });
    m_control->setParam(QStringLiteral("Data"), Today);
    m_control->refresh();

    QCOMPARE(ids(m_control), (QList<qint64>{ 7, 6, 5, 3, 2, 1 }));
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(currentId(m_control), qint64(3));
    QCOMPARE(selection.currentIndex().row(), m_control->recNo());
    QCOMPARE(selection.selectedRows().size(), 1);
    QCOMPARE(selection.selectedRows().first().row(), m_control->recNo());

    // Mark as delivered, on the dataset's current row.
    m_control->edit();
    m_control->fieldByName(QStringLiteral("Print_Entregue"))->setValue(QStringLiteral("S"));
    m_control->post();
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT group_concat(Print_Id) FROM Impressao"
                                                    " WHERE Print_Entregue = 'S'")),
             QVariant(QStringLiteral("3")));

    // The mark shows on the next reload as a change of that row alone.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    m_control->refresh();
    QCOMPARE(changed.count(), 0);
    DatabaseFixture::exec({ QStringLiteral("UPDATE Impressao SET Print_Pages = 9 WHERE Print_Id = 6") });
    m_control->refresh();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().value<QModelIndex>().row(), 1);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(currentId(m_control), qint64(3));
}

void TestRefresh::deletedRowMovesToItsNeighbour_data()
{
    QTest::addColumn<qint64>("selected");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<qint64>("after");
    QTest::newRow("middle: the row below") << qint64(3) << "3" << qint64(2);
    QTest::newRow("last: the row above") << qint64(1) << "1" << qint64(2);
    QTest::newRow("it and the one below: the next left") << qint64(3) << "3, 2" << qint64(1);
    QTest::newRow("first, new rows above") << qint64(5) << "5" << qint64(4);
    QTest::newRow("all of them: none") << qint64(3) << "1, 2, 3, 4, 5" << qint64(-1);
}

void TestRefresh::deletedRowMovesToItsNeighbour()
{
    QFETCH(qint64, selected);
    QFETCH(QString, deleted);
    QFETCH(qint64, after);
    DatasetModel model(m_control);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(m_control->locate(QStringLiteral("Print_Id"), selected));
    DatabaseFixture::exec({ QStringLiteral("DELETE FROM Impressao WHERE Print_Id IN (%1)").arg(deleted) });
    insertJobs({ job(8, 20) });
    m_control->refresh();
    if (after < 0) {
        QCOMPARE(m_control->recNo(), 0); // only the new job is left
        QCOMPARE(currentId(m_control), qint64(8));
    } else {
        QCOMPARE(currentId(m_control), after);
    }
    QCOMPARE(model.rowCount(), m_control->recordCount());
}

void TestRefresh::sameRowsAsAReopen_data()
{
    QTest::addColumn<QStringList>("changes");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("reordered by time") << QStringList{
        "UPDATE Impressao SET Print_Hora = '2020-01-02 07:00:00' WHERE Print_Id = 5",
        "UPDATE Impressao SET Print_Hora = '2020-01-02 23:00:00' WHERE Print_Id = 2"
    };
    QTest::newRow("all gone") << QStringList{ "DELETE FROM Impressao" };
    QTest::newRow("another day") << QStringList{ "UPDATE Impressao SET Print_Data = '2020-01-03'" };
    QTest::newRow("a few hundred new") << QStringList{
        "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 400)"
        " INSERT INTO Impressao (Print_Id, Print_Data, Print_Hora, Print_Pages, Print_Color)"
        " SELECT i, '2020-01-02', '2020-01-02 15:00:00', 1, 'N' FROM n",
        "DELETE FROM Impressao WHERE Print_Id = 3"
    };
    QTest::newRow("thousands new") << QStringList{
        "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 2100)"
        " INSERT INTO Impressao (Print_Id, Print_Data, Print_Hora, Print_Pages, Print_Color)"
        " SELECT i, '2020-01-02', '2020-01-02 15:00:00', 1, 'N' FROM n"
    };
}

// Whatever changed, the rows end as a reopen reads them and the model agrees with the dataset.
void TestRefresh::sameRowsAsAReopen()
{
    QFETCH(QStringList, changes);
    DatasetModel model(m_control);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(m_control->locate(QStringLiteral("Print_Id"), 2));
    if (!changes.isEmpty()) {
        DatabaseFixture::exec(changes);
    }
    m_control->refresh();
    const QList<qint64> refreshed = ids(m_control);
    QCOMPARE(model.rowCount(), m_control->recordCount());
    const bool kept = refreshed.contains(2);
    QCOMPARE(kept ? currentId(m_control) : qint64(2), qint64(2));
    for (int row = 0; row < model.rowCount(); ++row) {
        QCOMPARE(model.data(model.index(row, model.columnOf(QStringLiteral("Print_Id")))).toLongLong(),
                 refreshed.at(row));
    }
    m_control->reopen();
    QCOMPARE(refreshed, ids(m_control));
}

// The users registry keeps its row when registry completion reloads it.
void TestRefresh::registryKeepsItsRow()
{
    Dataset* users = m_main->users;
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ('Carla'), ('Bruno')") });
    users->open();
    DatasetModel model(users);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(users->locate(QStringLiteral("Usuario_id"), QStringLiteral("Carla")));
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ('Ana'), ('Zeca')") });
    users->refresh();
    QCOMPARE(users->fieldByName(QStringLiteral("Usuario_id"))->asString(), QStringLiteral("Carla"));
    QCOMPARE(users->recordCount(), 5);
    QCOMPARE(resets.count(), 0);
}

QTEST_GUILESS_MAIN(TestRefresh)
#include "tst_refresh.moc"
