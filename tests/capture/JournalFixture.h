#pragma once

// Journal lines as the capture agent writes them, and the job rows they became, for the import and
// monitoring tests.

#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

namespace JournalLines {

// The nineteen fields of one job, in line order.
inline QStringList jobFields(const QString& user = QStringLiteral("u"), const QString& printer = QStringLiteral("P"),
                             const QString& document = QStringLiteral("doc"))
{
    return { QStringLiteral("1"),
             printer,
             QStringLiteral("\\\\PC"),
             user,
             document,
             QStringLiteral("notify"),
             QStringLiteral("RAW"),
             QStringLiteral("winprint"),
             QString(),
             QStringLiteral("Driver"),
             QStringLiteral("2"),
             QStringLiteral("184320"),
             QStringLiteral("31/12/2019"),
             QStringLiteral("10:15:00"),
             QStringLiteral("9"),
             QStringLiteral("2970"),
             QStringLiteral("2100"),
             QStringLiteral("N"),
             QStringLiteral("S") };
}

// Every field followed by "|".
inline QString line(const QStringList& fields)
{
    return fields.join(QLatin1Char('|')) + QLatin1Char('|');
}

inline QStringList withField(QStringList fields, int index, const QString& value)
{
    fields[index] = value;
    return fields;
}

inline QString job(const QString& user = QStringLiteral("u"), const QString& printer = QStringLiteral("P"),
                   const QString& document = QStringLiteral("doc"))
{
    return line(jobFields(user, printer, document));
}

// UTF-8 with a byte-order mark, every line ended by CR LF.
inline QByteArray utf8Journal(const QStringList& lines)
{
    QByteArray bytes("\xEF\xBB\xBF");
    for (const QString& text : lines) {
        bytes += text.toUtf8() + "\r\n";
    }
    return bytes;
}

// Jobs of documents "doc<first>" to "doc<first + count - 1>".
inline QByteArray numberedJournal(int count, int first = 1)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(count) * 80);
    for (int i = first; i < first + count; ++i) {
        bytes +=
            QStringLiteral("%1|P|\\\\PC|u|doc%1|n|RAW|winprint||Driver|1|100|31/12/2019|10:15:00|9|2970|2100|N|N|\r\n")
                .arg(i)
                .toLatin1();
    }
    return bytes;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace JournalLines

namespace JobRows {

// The stored jobs in the order they were stored, one text per row: Print_Name|Computer_Id|Usuario_Id|
// Print_Document|Print_Drive|Print_Pages|dmPaperSize|Print_PaperLength|Print_PaperWidth|Print_Color|
// Print_Duplex|Projeto_Id, a null shown as "<null>".
inline QStringList stored(const QString& connection = tollbook::Database::ConnectionName)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    QStringList rows;
    if (!query.exec(QStringLiteral("SELECT Print_Name, Computer_Id, Usuario_Id, Print_Document, Print_Drive,"
                                   " Print_Pages, dmPaperSize, Print_PaperLength, Print_PaperWidth, Print_Color,"
                                   " Print_Duplex, Projeto_Id FROM Impressao ORDER BY Print_Id"))) {
        qWarning() << query.lastError().text();
        return rows;
    }
    while (query.next()) {
        QStringList values;
        for (int column = 0; column < 12; ++column) {
            const QVariant value = query.value(column);
            values << (value.isNull() ? QStringLiteral("<null>") : value.toString());
        }
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

// One number out of the database.
inline qint64 count(const QString& sql, const QString& connection = tollbook::Database::ConnectionName)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    if (!query.exec(sql) || !query.next()) {
        qWarning() << sql << query.lastError().text();
        return -1;
    }
    return query.value(0).toLongLong();
}

} // namespace JobRows

// A small file system of its own, for the cases of a full or read-only disk; needs root.
class Mount
{
public:
    explicit Mount(const QString& options)
    {
        if (m_dir.isValid() && ::mount("tollbook-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                                       options.toLatin1().constData()) == 0) {
            m_mounted = true;
        }
    }
    ~Mount()
    {
        if (m_mounted) {
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
        }
    }
    bool isMounted() const { return m_mounted; }
    QString path(const QString& relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    bool setReadOnly(bool readOnly)
    {
        return ::mount("tollbook-test", QFile::encodeName(m_dir.path()).constData(), "tmpfs",
                       MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};
