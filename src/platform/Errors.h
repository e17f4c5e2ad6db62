#pragma once

#include <QString>

#include <exception>
#include <utility>

namespace tollbook {

// Base of every error the application raises. The error handler tells the kinds apart by their exact
// type, never by family: a class derived from SilentAbort, Refusal, DatabaseError or PlainError counts as
// "other".
class Error : public std::exception
{
public:
    explicit Error(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {
    }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Cancels an operation after it has shown its own message; nothing more is shown.
class SilentAbort : public Error
{
public:
    SilentAbort()
        : Error(QStringLiteral("Operation aborted"))
    {
    }
};

// A rule refused the operation (deleting a reserved row, a negative price, ...). Its message is the one the
// user reads: the handler shows it in an information box, and the operation is cancelled as by SilentAbort.
class Refusal : public Error
{
public:
    using Error::Error;
};

// Raised by the dataset layer for its own checks (no current row, wrong state, unknown field, ...).
class DatabaseError : public Error
{
public:
    using Error::Error;
};

// Raised by the application for failures it detects itself (a folder that cannot be created, ...).
class PlainError : public Error
{
public:
    using Error::Error;
};

// Reported by the database driver itself (failed open, constraint violated, file locked, ...).
class DriverError : public Error
{
public:
    using Error::Error;
};

// A value that cannot be converted to the type asked for.
class ConversionError : public Error
{
public:
    using Error::Error;
};

} // namespace tollbook
