#pragma once

// A new database, opened as the application's connection, for one test case: a SQLite file in a temporary folder,
// or a database of a throwaway PostgreSQL cluster when TOLLBOOK_TEST_STORE=postgres (the same cases on the other
// store). Statements of the test go through the data layer's translation, as the application's do.
//
// The schema is made once per test program (once per ctest run on the run's PostgreSQL cluster) and copied for each
// case: a copy of a prepared file on SQLite, a database created from a template on PostgreSQL.

#include "common/PostgresFixture.h"
#include "data/Database.h"
#include "platform/Errors.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

class DatabaseFixture
{
public:
    DatabaseFixture()
    {
        QVERIFY2(m_dir.isValid(), "temporary folder");
        if (onPostgres()) {
            PostgresFixture* cluster = PostgresFixture::shared();
            QVERIFY2(cluster, qPrintable(PostgresFixture::sharedReason()));
            const Prepared& from = postgresTemplate(cluster);
            QVERIFY2(from.reason.isEmpty(), qPrintable(from.reason));
            m_path = cluster->copyDatabase(from.location);
            QVERIFY2(!m_path.isEmpty(), qPrintable(cluster->reason()));
        } else {
            const Prepared& from = sqliteFile();
            QVERIFY2(from.reason.isEmpty(), qPrintable(from.reason));
            m_path = m_dir.filePath(QStringLiteral("Tollbook.db"));
            QVERIFY2(QFile::copy(from.location, m_path), qPrintable(m_path));
        }
        tollbook::Database::open(m_path);
    }
    ~DatabaseFixture() { tollbook::Database::close(); }

    // Whether the cases run on PostgreSQL.
    static bool onPostgres() { return qEnvironmentVariable("TOLLBOOK_TEST_STORE") == QLatin1String("postgres"); }

    // The database's file, or its address on PostgreSQL.
    const QString& path() const { return m_path; }
    QString folder() const { return m_dir.path(); }

    // Runs statements on the connection; fails the test on an error.
    static void exec(const QStringList& statements)
    {
        QSqlQuery query(QSqlDatabase::database(tollbook::Database::ConnectionName));
        for (const QString& statement : statements) {
            if (!query.exec(tollbook::Database::storeSql(statement))) {
                QFAIL(qPrintable(statement + QStringLiteral(": ") + query.lastError().text()));
            }
        }
    }

    // The first column of the first row of a query.
    static QVariant scalar(const QString& statement)
    {
        QSqlQuery query(QSqlDatabase::database(tollbook::Database::ConnectionName));
        if (!query.exec(tollbook::Database::storeSql(statement)) || !query.next()) {
            qWarning() << statement << query.lastError().text();
            return QVariant();
        }
        return query.value(0);
    }

    // The texts of an expression over rows (a table and its condition), in an order, joined by a separator: the
    // whole in one text, to compare at once. The order of a subquery is not kept for certain by PostgreSQL's
    // aggregates, so there string_agg orders its own values.
    static QString joined(const QString& expression, const QString& rows, const QString& order,
                          const QString& separator = QStringLiteral(","))
    {
        const QString statement =
            onPostgres() ? QStringLiteral("SELECT string_agg(CAST(%1 AS text), '%4' ORDER BY %3) FROM %2")
                         : QStringLiteral("SELECT group_concat(%1, '%4') FROM (SELECT * FROM %2 ORDER BY %3)");
        return scalar(statement.arg(expression, rows, order, separator)).toString();
    }

private:
    // A new installation's database made once: its file or database name, or why it could not be made.
    struct Prepared
    {
        QString location;
        QString reason;
    };

    static const Prepared& sqliteFile()
    {
        static QTemporaryDir dir;
        static const Prepared prepared = [] {
            const QString path = dir.filePath(QStringLiteral("Tollbook.db"));
            try {
                tollbook::Database::create(path);
            } catch (const tollbook::Error& error) {
                return Prepared{ QString(), error.message() };
            }
            return Prepared{ path, QString() };
        }();
        return prepared;
    }

    // The run's cluster has its template already; a cluster of this program gets one on first use.
    static const Prepared& postgresTemplate(PostgresFixture* cluster)
    {
        static const Prepared prepared = [cluster] {
            if (cluster->attached()) {
                return Prepared{ PostgresFixture::RunTemplate, QString() };
            }
            const QString& name = PostgresFixture::RunTemplate;
            const QString location = cluster->createDatabase(name);
            if (location.isEmpty()) {
                return Prepared{ QString(), cluster->reason() };
            }
            try {
                tollbook::Database::create(location);
            } catch (const tollbook::Error& error) {
                return Prepared{ QString(), error.message() };
            }
            return Prepared{ name, QString() };
        }();
        return prepared;
    }

    QTemporaryDir m_dir;
    QString m_path;
};

// Jobs of a few days around a change of year, for the period, pricing and registry cases.
//
//  id  day         time      user   printer paper colour pages  price row
//   1  2019-12-31  10:00:00  Bruno  HP1     9     S      3      9: 0.20 / 0.25
//   2  2019-12-31  23:59:59  Bruno  HP1     9     N      3
//   3  2020-01-01  00:00:01  bruno  HP1     9     s      2      (lower-case flag: monochrome)
//   4  2020-01-01  12:00:00  Zeca   HP1     1     S      5      1: 0.10 / null  (Zeca unregistered)
//   5  2020-01-02  08:00:00  Bruno  HP2     9     N      4      HP2 has a price for paper 1 only
//   6  2020-01-02  09:00:00  Carla  HP1     77    N      1      no Papel row, no price row
//   7  2019-11-30  15:00:00  Admin  HP1     9     N      10
inline void addPeriodJobs()
{
    DatabaseFixture::exec({
        QStringLiteral("INSERT INTO Setor VALUES ('FIN')"),
        QStringLiteral("INSERT INTO Projeto (Projeto_Id, Projeto_Codigo, Projeto_Nome) VALUES (2, 'P2', 'Obra')"),
        QStringLiteral("INSERT INTO Usuario VALUES ('Bruno', 'Bruno Souza', 'FIN', 2, 'S')"),
        QStringLiteral("INSERT INTO Usuario VALUES ('Carla', 'Carla Lima', 'FIN', 2, 'S')"),
        QStringLiteral("INSERT INTO Impressora VALUES ('HP1'), ('HP2')"),
        QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 2000, 2500), ('HP1', 1, 1000, NULL),"
                       " ('HP2', 1, 1000, 1500)"),
        QStringLiteral(
            "INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
            " Print_Document, Computer_Id, dmPaperSize, Print_Color, Print_Duplex, Projeto_Id) VALUES"
            " (1, 'HP1', '2019-12-31', '2019-12-31 10:00:00', 'Bruno', 3, 'a.pdf', '\\\\PC1', 9, 'S', 'N', 2),"
            " (2, 'HP1', '2019-12-31', '2019-12-31 23:59:59', 'Bruno', 3, 'b.pdf', '\\\\PC1', 9, 'N', 'N', 2),"
            " (3, 'HP1', '2020-01-01', '2020-01-01 00:00:01', 'bruno', 2, 'c.pdf', '\\\\PC1', 9, 's', 'N', 2),"
            " (4, 'HP1', '2020-01-01', '2020-01-01 12:00:00', 'Zeca', 5, 'd.pdf', '\\\\PC2', 1, 'S', 'N', 1),"
            " (5, 'HP2', '2020-01-02', '2020-01-02 08:00:00', 'Bruno', 4, 'e.pdf', '\\\\PC1', 9, 'N', 'S', 2),"
            " (6, 'HP1', '2020-01-02', '2020-01-02 09:00:00', 'Carla', 1, 'f.pdf', '\\\\PC3', 77, 'N', 'N', 2),"
            " (7, 'HP1', '2019-11-30', '2019-11-30 15:00:00', 'Admin', 10, 'g.pdf', '\\\\PC0', 9, 'N', 'N', 1)"),
    });
}
