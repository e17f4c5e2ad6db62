#include "data/ErrorTranslation.h"

#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QChar>

#include <typeinfo>

namespace tollbook {

namespace {

const QString Title = QStringLiteral("ATENÇÃO ");
const QChar LineBreak = QLatin1Char('\r');

// The name a database message quotes: after the first apostrophe up to the next one, or to the end when
// there is no second apostrophe; empty without any apostrophe. Taken from the message as written.
QString quotedName(const QString& message)
{
    const int first = message.indexOf(QLatin1Char('\''));
    if (first < 0) {
        return {};
    }
    const int next = message.indexOf(QLatin1Char('\''), first + 1);
    return next < 0 ? message.mid(first + 1) : message.mid(first + 1, next - first - 1);
}

enum class Rule {
    HasReferences,
    StaleForeignKey,
    Required,
    DuplicateKey,
    WrongOldPassword,
    Silent,
    GeneralSqlError,
    Deadlock,
};

struct Fragment
{
    const char* text;
    Rule rule;
};

// Tested in this order; the first fragment found in the upper-cased message decides.
const Fragment Fragments[] = {
    { "THE RECORD CANNOT BE DELETED", Rule::HasReferences },
    { "UPDATE STATEMENT CONFLICTED WITH COLUMN FOREIGN KEY", Rule::StaleForeignKey },
    { "INSERT STATEMENT CONFLICTED WITH COLUMN FOREIGN KEY", Rule::StaleForeignKey },
    { "CANNOT CONTAIN A NULL VALUE", Rule::Required },
    { "ZERO-LENGTH STRING", Rule::Required },
    { "PRIMARY", Rule::DuplicateKey },
    { "KEY VIOLATION", Rule::DuplicateKey },
    { "Old (current) password incorrect for user", Rule::WrongOldPassword },
    { "[ASTA SERVER ERROR]NO USER TRANSACTION IS CURRENTLY IN PROGRESS", Rule::Silent },
    { "[ASTA SERVER ERROR]GENERAL SQL ERROR", Rule::GeneralSqlError },
    { "DEADLOCK", Rule::Deadlock },
};

// Characters dropped from the front of a general SQL error, whatever the fragment's place in it.
constexpr int GeneralSqlErrorPrefixLength = 37;

std::optional<ErrorBox> warning(const QString& text)
{
    return ErrorBox{ BoxKind::Warning, text };
}

// What the database itself says when the file is busy, read-only or full, in the current language; the database
// reports these in English whatever the user reads. Tested after the fragments above, in this order.
struct DatabaseCondition
{
    const char* fragment;
    const char* key;
    const char* portuguese; // when the language file has no text for the key
};

const DatabaseCondition DatabaseConditions[] = {
    { "DATABASE IS LOCKED", "sMsgBancoBloqueado",
      "O banco de dados está em uso por outro programa e não pôde ser alterado agora. Tente novamente em alguns "
      "instantes." },
    { "DATABASE TABLE IS LOCKED", "sMsgBancoBloqueado",
      "O banco de dados está em uso por outro programa e não pôde ser alterado agora. Tente novamente em alguns "
      "instantes." },
    // PostgreSQL, when a row another installation holds stays locked longer than the connection waits.
    { "DUE TO LOCK TIMEOUT", "sMsgBancoBloqueado",
      "O banco de dados está em uso por outro programa e não pôde ser alterado agora. Tente novamente em alguns "
      "instantes." },
    { "READONLY DATABASE", "sMsgBancoSomenteLeitura",
      "O banco de dados não pode ser alterado: o arquivo ou a sua pasta são somente leitura. Verifique as "
      "permissões do arquivo do banco de dados e da sua pasta." },
    { "DATABASE OR DISK IS FULL", "sMsgBancoCheio",
      "O disco do banco de dados está cheio: nada foi gravado. Libere espaço em disco e tente novamente." },
};

std::optional<QString> databaseCondition(const QString& upperMessage)
{
    for (const DatabaseCondition& condition : DatabaseConditions) {
        if (upperMessage.contains(QLatin1String(condition.fragment))) {
            const QString text = Language::message(QStringLiteral("Erro"), QLatin1String(condition.key));
            return text.isEmpty() ? QString::fromUtf8(condition.portuguese) : text;
        }
    }
    return std::nullopt;
}

std::optional<ErrorBox> translateDatabaseMessage(const QString& message)
{
    const QString upper = upperAscii(message);
    for (const Fragment& fragment : Fragments) {
        if (!upper.contains(upperAscii(QLatin1String(fragment.text)))) {
            continue;
        }
        switch (fragment.rule) {
            case Rule::HasReferences:
                return warning(QStringLiteral("Este registro possui referências com o arquivo '") +
                               quotedName(message) + QStringLiteral("'.") + LineBreak +
                               QStringLiteral("Você deve excluir todas as suas referências antes de excluí-lo."));
            case Rule::StaleForeignKey:
                return warning(QStringLiteral("Você selecionou um registro do arquivo '") + quotedName(message) +
                               QStringLiteral("'") + LineBreak +
                               QStringLiteral("que não está mais disponível. Verifique."));
            case Rule::Required:
                return warning(QStringLiteral("O campo \"") + quotedName(message) +
                               QStringLiteral("\" é de preenchimento obrigatório!"));
            case Rule::DuplicateKey:
                return warning(QStringLiteral("Registro com chave duplicada. Campo '") + quotedName(message) +
                               QStringLiteral("'."));
            case Rule::WrongOldPassword:
                return warning(QStringLiteral("Senha Antiga incorreta."));
            case Rule::Silent:
                return std::nullopt;
            case Rule::GeneralSqlError:
                return warning(Title + LineBreak + message.mid(GeneralSqlErrorPrefixLength));
            case Rule::Deadlock:
                return warning(QStringLiteral("Você está tentando utilizar um registro que está bloqueado por outro "
                                              "usuário. Tente novamente."));
        }
    }
    if (const std::optional<QString> condition = databaseCondition(upper)) {
        return warning(Title + LineBreak + LineBreak + *condition);
    }
    return warning(Title + LineBreak + LineBreak + message);
}

} // namespace

ErrorKind errorKindOf(const std::exception& error)
{
    const std::type_info& type = typeid(error);
    if (type == typeid(SilentAbort)) {
        return ErrorKind::SilentAbort;
    }
    if (type == typeid(Refusal)) {
        return ErrorKind::Refusal;
    }
    if (type == typeid(DatabaseError)) {
        return ErrorKind::Database;
    }
    if (type == typeid(PlainError)) {
        return ErrorKind::Plain;
    }
    return ErrorKind::Other;
}

QString errorMessageOf(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const Error*>(&error)) {
        return own->message();
    }
    return QString::fromLocal8Bit(error.what());
}

std::optional<ErrorBox> translateError(ErrorKind kind, const QString& message)
{
    switch (kind) {
        case ErrorKind::SilentAbort:
            return std::nullopt;
        case ErrorKind::Refusal:
            return ErrorBox{ BoxKind::Information, message };
        case ErrorKind::Database:
        case ErrorKind::Plain:
            return translateDatabaseMessage(message);
        case ErrorKind::Other:
            break;
    }
    // The database's own refusals arrive here, as the driver reported them.
    const std::optional<QString> condition = databaseCondition(upperAscii(message));
    return ErrorBox{ BoxKind::Error, Title + LineBreak + LineBreak + condition.value_or(message) };
}

} // namespace tollbook
