#include "i18n/Language.h"

#include "platform/Errors.h"
#include "platform/MessageBoxTexts.h"
#include "platform/SystemRoutines.h"

#include <QFileInfo>

#include <array>

namespace tollbook::Language {
namespace {

struct State
{
    QString installFolder;
    QString currentCode;
    QString activeGridSet = QStringLiteral("pt_BR");
};

State& state()
{
    static State instance;
    return instance;
}

// The three languages in one order, used as the column index of every table below.
enum Column { PtBr, En, Es, ColumnCount };

int columnOf(const QString& code)
{
    if (code == QLatin1String("pt_BR"))
        return PtBr;
    if (code == QLatin1String("en"))
        return En;
    if (code == QLatin1String("es"))
        return Es;
    return -1;
}

using Texts = std::array<const char*, ColumnCount>;

constexpr Texts RestartNotices = {
    "O Tollbook precisa ser reiniciado para que a alteração do idioma tenha efeito.",
    "The Tollbook needs to be restarted for the change of language to take effect.",
    "El Tollbook necesita ser reiniciado para el cambio de idioma surta efecto.",
};

constexpr Texts TrayBalloonTitles = { "Aplicativo Minimizado", "Application Minimized", "Aplicación minimizada" };
constexpr Texts TrayRestore = { "Restaurar", "Restore", "Restaurar" };
constexpr Texts TrayFinish = { "Finalizar", "Finalize", "Finalizar" };

// In the order of MessageBoxText.
constexpr std::array<Texts, MessageBoxTextCount> MessageBoxColumns = { {
    { "Atenção", "Warning", "Advertencia" },
    { "Erro", "Error", "Error" },
    { "Informação", "Information", "Información" },
    { "Confirmar", "Confirm", "Confirmar" },
    { "&Sim", "&Yes", "&Sí" },
    { "&Não", "&No", "&No" },
    { "OK", "OK", "OK" },
    { "Cancelar", "Cancel", "Cancelar" },
    { "&Ajuda", "&Help", "&Ayuda" },
    { "Ajuda não disponível", "No help available", "No hay ayuda disponible" },
    { "Ajuda", "Help", "Ayuda" },
    { "&Abortar", "&Abort", "&Abortar" },
    { "&Repetir", "&Retry", "&Rever" },
    { "&Ignorar", "&Ignore", "&Ignorar" },
    { "&Todos", "&All", "&Todas" },
    { "Nã&o a Todos", "N&o to All", "N&o a todo" },
    { "Sim a &Todos", "Yes to &All", "Sí a &todo" },
    { "&Fechar", "&Close", "&Cerrar" },
} };

// In the order of GridText.
constexpr std::array<Texts, 9> GridTexts = { {
    { "Mover para o registro anterior", "Move to prior record", "Mover al registro anterior" },
    { "Mover para o próximo registro", "Move to next record", "Mover al registro siguiente" },
    { "Inserir novo registro", "Insert new record", "Insertar nuevo registro" },
    { "Excluir o registro atual", "Delete current record", "Eliminar el registro actual" },
    { "Editar o registro atual", "Edit current record", "Editar el registro actual" },
    { "Gravar as alterações do registro atual", "Post changes of current record",
      "Guardar los cambios del registro actual" },
    { "Cancelar as alterações feitas no registro atual", "Cancel changes made to current record",
      "Cancelar los cambios hechos en el registro actual" },
    { "Atualizar o conteúdo do conjunto de dados", "Refresh the contents of the dataset",
      "Actualizar el contenido del conjunto de datos" },
    { "Excluir Registro ?", "Delete record?", "¿Eliminar registro?" },
} };
static_assert(int(GridText::DeleteQuestion) + 1 == int(GridTexts.size()));

QString textOf(const Texts& texts, const QString& code)
{
    const int column = columnOf(code);
    return column < 0 ? QString() : QString::fromUtf8(texts[std::size_t(column)]);
}

[[noreturn]] void invalidFormat(const QString& messageTemplate)
{
    throw ConversionError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(messageTemplate));
}

// Reads the digits at position, if any; -1 when there are none.
int readNumber(const QString& text, int& position)
{
    int number = -1;
    while (position < text.size() && text.at(position).isDigit()) {
        number = (number < 0 ? 0 : number * 10) + text.at(position).digitValue();
        ++position;
    }
    return number;
}

// The current language's file of the kind the pattern names. A code that brings no such file (a
// config.ini edited by hand, "fr") takes the Portuguese one, so that no question or entry comes out blank.
QString languageFile(const QString& pattern)
{
    const QString path = installFolder() + pattern.arg(currentCode());
    if (currentCode() == QLatin1String("pt_BR") || QFileInfo::exists(path))
        return path;
    return installFolder() + pattern.arg(QStringLiteral("pt_BR"));
}

} // namespace

void setInstallFolder(const QString& folder)
{
    QString normalised = folder;
    normalised.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!normalised.isEmpty() && !normalised.endsWith(QLatin1Char('/')))
        normalised += QLatin1Char('/');
    state().installFolder = normalised;
}

QString installFolder()
{
    return state().installFolder;
}

QString currentCode()
{
    return state().currentCode;
}

void setCurrentCode(const QString& code)
{
    state().currentCode = code;
}

bool isKnownCode(const QString& code)
{
    return columnOf(code) >= 0;
}

QString message(const QString& section, const QString& key)
{
    return ReadIniValue(languageFile(QStringLiteral("language/Default_%1.lpu")), section, key);
}

QString reportText(const QString& section, const QString& key)
{
    return ReadIniValue(languageFile(QStringLiteral("language/Report_%1.lpu")), section, key);
}

QString windowFilePath(const QString& code, const QString& windowName)
{
    return installFolder() + QStringLiteral("language/%1/%2.lpu").arg(code, windowName);
}

QString format(const QString& messageTemplate, const QStringList& values)
{
    // The templates are written by translators in the platform's format syntax; only text arguments
    // exist, so a specifier is "%" [index ":"] ["-"] [width] ["." precision] "s", or "%%".
    QString result;
    int nextValue = 0;
    int position = 0;
    const int length = int(messageTemplate.size());
    while (position < length) {
        const QChar c = messageTemplate.at(position++);
        if (c != QLatin1Char('%')) {
            result += c;
            continue;
        }
        if (position < length && messageTemplate.at(position) == QLatin1Char('%')) {
            result += QLatin1Char('%');
            ++position;
            continue;
        }
        int number = readNumber(messageTemplate, position);
        if (number >= 0 && position < length && messageTemplate.at(position) == QLatin1Char(':')) {
            nextValue = number;
            ++position;
            number = -1;
        }
        bool leftAligned = false;
        if (number < 0 && position < length && messageTemplate.at(position) == QLatin1Char('-')) {
            leftAligned = true;
            ++position;
        }
        const int width = number >= 0 ? number : readNumber(messageTemplate, position);
        int precision = -1;
        if (position < length && messageTemplate.at(position) == QLatin1Char('.')) {
            ++position;
            precision = readNumber(messageTemplate, position);
            if (precision < 0)
                precision = 0;
        }
        if (position >= length || messageTemplate.at(position).toLower() != QLatin1Char('s'))
            invalidFormat(messageTemplate);
        ++position;
        if (nextValue >= values.size())
            invalidFormat(messageTemplate);
        QString value = values.at(nextValue++);
        if (precision >= 0)
            value.truncate(precision);
        if (width > value.size())
            value = leftAligned ? value.leftJustified(width) : value.rightJustified(width);
        result += value;
    }
    return result;
}

QString restartNotice(const QString& code)
{
    return textOf(RestartNotices, code);
}

TrayTexts trayTexts(const QString& code)
{
    return { textOf(TrayBalloonTitles, code), textOf(TrayRestore, code), textOf(TrayFinish, code) };
}

QString gridText(GridText text)
{
    const auto index = std::size_t(text);
    if (index >= GridTexts.size())
        return {};
    return textOf(GridTexts[index], activeGridSet());
}

QString activeGridSet()
{
    return state().activeGridSet;
}

void setActiveGridSet(const QString& code)
{
    // Exactly one of the three sets is active; any other code leaves the choice as it is.
    if (isKnownCode(code))
        state().activeGridSet = code;
}

void applySetup()
{
    const QString code = currentCode();
    if (!isKnownCode(code))
        return;
    setActiveGridSet(code);
    for (int role = 0; role < MessageBoxTextCount; ++role)
        MessageBoxTexts::change(MessageBoxText(role), textOf(MessageBoxColumns[std::size_t(role)], code));
}

} // namespace tollbook::Language
