#include "ui/XlsxTable.h"

#include "platform/Errors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tollbook {

namespace {

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("Unable to write to %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The temporary name beside the target: a rename within one folder replaces the file in one step.
QString reserveTemporaryPath(const QString& path)
{
    QTemporaryFile reserved(path + QStringLiteral(".XXXXXX.tmp"));
    reserved.setAutoRemove(false);
    if (!reserved.open()) {
        throw PlainError(failure(path, reserved.errorString()));
    }
    return reserved.fileName();
}

// Flushes a written file (or folder) to disk; a full disk or a failing device shows up here at the latest.
bool syncToDisk(const QString& path, int flags)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool synced = ::fsync(descriptor) == 0;
    const int savedErrno = errno;
    ::close(descriptor);
    errno = savedErrno;
    return synced;
}

lxw_datetime toExcelDate(const QDateTime& value)
{
    const QDate date = value.date();
    const QTime time = value.time();
    return lxw_datetime{ date.year(), date.month(),  date.day(),
                         time.hour(), time.minute(), time.second() + time.msec() / 1000.0 };
}

QDateTime dateTimeOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDate) {
        return QDateTime(value.toDate(), QTime(0, 0), Qt::UTC);
    }
    return value.toDateTime();
}

// A sheet name Excel accepts: at most 31 characters, none of []:*?/\ .
QByteArray sheetNameOf(const QString& name)
{
    QString cleaned = name;
    for (const QChar refused : { u'[', u']', u':', u'*', u'?', u'/', u'\\' }) {
        cleaned.replace(refused, QLatin1Char('_'));
    }
    cleaned = cleaned.left(31).trimmed();
    return (cleaned.isEmpty() ? QStringLiteral("Sheet1") : cleaned).toUtf8();
}

// The workbook, closed (and so freed) on every way out.
class Workbook
{
public:
    explicit Workbook(const QString& path)
        : m_path(QFile::encodeName(path))
    {
        lxw_workbook_options options{};
        // Rows go to the sheet's file as they are written, so a year of jobs needs no more memory than a row.
        options.constant_memory = LXW_TRUE;
        m_workbook = workbook_new_opt(m_path.constData(), &options);
    }
    ~Workbook()
    {
        if (m_workbook) {
            workbook_close(m_workbook);
        }
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    lxw_workbook* get() const { return m_workbook; }
    lxw_error close()
    {
        lxw_workbook* workbook = m_workbook;
        m_workbook = nullptr;
        return workbook_close(workbook);
    }

private:
    QByteArray m_path;
    lxw_workbook* m_workbook = nullptr;
};

void check(lxw_error error, const QString& path)
{
    if (error != LXW_NO_ERROR) {
        throw PlainError(failure(path, QString::fromUtf8(lxw_strerror(error))));
    }
}

void writeWorkbook(const QString& temporary, const QString& target, const QString& sheetName,
                   const QList<XlsxTable::Column>& columns, int rowCount, const XlsxTable::CellValue& value)
{
    Workbook workbook(temporary);
    if (!workbook.get()) {
        throw PlainError(failure(target, QStringLiteral("the workbook could not be created")));
    }
    lxw_worksheet* sheet = workbook_add_worksheet(workbook.get(), sheetNameOf(sheetName).constData());
    if (!sheet) {
        throw PlainError(failure(target, QStringLiteral("the sheet could not be created")));
    }

    lxw_format* header = workbook_add_format(workbook.get());
    format_set_bold(header);
    format_set_text_wrap(header);
    lxw_format* date = workbook_add_format(workbook.get());
    format_set_num_format(date, "dd/mm/yyyy");
    lxw_format* time = workbook_add_format(workbook.get());
    format_set_num_format(time, "hh:mm:ss");
    lxw_format* dateTime = workbook_add_format(workbook.get());
    format_set_num_format(dateTime, "dd/mm/yyyy hh:mm:ss");
    lxw_format* money = workbook_add_format(workbook.get());
    format_set_num_format(money, "#,##0.00");

    const auto formatOf = [&](XlsxTable::Kind kind) -> lxw_format* {
        switch (kind) {
            case XlsxTable::Kind::Money:
                return money;
            case XlsxTable::Kind::Date:
                return date;
            case XlsxTable::Kind::Time:
                return time;
            case XlsxTable::Kind::DateTime:
                return dateTime;
            default:
                return nullptr;
        }
    };

    for (int column = 0; column < columns.size(); ++column) {
        check(worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column), columns.at(column).width, nullptr),
              target);
    }
    for (int column = 0; column < columns.size(); ++column) {
        check(
            worksheet_write_string(sheet, 0, lxw_col_t(column), columns.at(column).title.toUtf8().constData(), header),
            target);
    }
    worksheet_freeze_panes(sheet, 1, 0);

    for (int row = 0; row < rowCount; ++row) {
        const lxw_row_t sheetRow = lxw_row_t(row) + 1;
        for (int column = 0; column < columns.size(); ++column) {
            const QVariant cell = value(row, column);
            if (!cell.isValid() || cell.isNull()) {
                continue;
            }
            const lxw_col_t sheetColumn = lxw_col_t(column);
            const XlsxTable::Kind kind = columns.at(column).kind;
            lxw_error error = LXW_NO_ERROR;
            switch (kind) {
                case XlsxTable::Kind::Text: {
                    const QString text = cell.toString().left(XlsxTable::MaxTextLength);
                    error = worksheet_write_string(sheet, sheetRow, sheetColumn, text.toUtf8().constData(), nullptr);
                    break;
                }
                case XlsxTable::Kind::Integer:
                case XlsxTable::Kind::Number:
                    error = worksheet_write_number(sheet, sheetRow, sheetColumn, cell.toDouble(), nullptr);
                    break;
                case XlsxTable::Kind::Money: {
                    // Ten-thousandths divided once: 3 x 0.20 is 6000 units and is written as 0.6, not as the
                    // sum of three doubles.
                    const double amount = cell.typeId() == QMetaType::LongLong || cell.typeId() == QMetaType::Int
                                              ? double(cell.toLongLong()) / 10000.0
                                              : cell.toDouble();
                    error = worksheet_write_number(sheet, sheetRow, sheetColumn, amount, money);
                    break;
                }
                case XlsxTable::Kind::Date:
                case XlsxTable::Kind::Time:
                case XlsxTable::Kind::DateTime: {
                    const QDateTime when = dateTimeOf(cell);
                    if (!when.isValid()) {
                        continue;
                    }
                    lxw_datetime excel = toExcelDate(when);
                    if (kind == XlsxTable::Kind::Date) {
                        excel.hour = excel.min = 0;
                        excel.sec = 0;
                    }
                    error = worksheet_write_datetime(sheet, sheetRow, sheetColumn, &excel, formatOf(kind));
                    break;
                }
            }
            check(error, target);
        }
    }
    check(workbook.close(), target);
}

} // namespace

void XlsxTable::write(const QString& path, const QString& sheetName, const QList<Column>& columns, int rowCount,
                      const CellValue& value)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        throw PlainError(failure(path, QStringLiteral("the folder %1 could not be created").arg(folder)));
    }
    const QString temporary = reserveTemporaryPath(path);
    try {
        writeWorkbook(temporary, path, sheetName, columns, rowCount, value);
        if (!syncToDisk(temporary, O_RDONLY)) {
            throw PlainError(failure(path, systemReason()));
        }
        if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
            throw PlainError(failure(path, systemReason()));
        }
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
    // The rename itself reaches the disk with its folder.
    if (!syncToDisk(folder, O_RDONLY | O_DIRECTORY)) {
        throw PlainError(failure(path, systemReason()));
    }
}

} // namespace tollbook
