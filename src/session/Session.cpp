#include "session/Session.h"

#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "platform/SystemRoutines.h"

#include <QDir>
#include <QFileInfo>

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");

} // namespace

Session::Session(const QString& installFolder)
    : m_installation(installFolder)
    , m_datasets(std::make_unique<DataModuleDatasets>())
{
}

Session::~Session()
{
    m_datasets.reset();
    Database::close();
}

bool Session::configure(const QString& language)
{
    Language::setInstallFolder(m_installation.folder());
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));

    const QString config = m_installation.configPath();
    if (!QFileInfo(config).isFile()) {
        return false;
    }
    Language::setCurrentCode(language.isEmpty() ? ReadIniValue(config, AppSection, QStringLiteral("Language"))
                                                : language);
    return true;
}

void Session::connect()
{
    Database::close();
    Database::open(ReadIniValue(m_installation.configPath(), AppSection, QStringLiteral("DataBase")));
    m_datasets->openStartupDatasets();
}

void Session::checkVersion() const
{
    const QString databaseVersion =
        m_datasets->configuration->fieldByName(QStringLiteral("Versao_Sistema"))->asString().trimmed();
    if (databaseVersion != GetVersionText()) {
        throw VersionMismatch(databaseVersion);
    }
}

void Session::createJobsFolder() const
{
    const QString folder = m_installation.jobsFolder();
    if (QFileInfo(folder).isDir()) {
        return;
    }
    if (!QDir().mkdir(folder)) {
        throw PlainError(QStringLiteral("Diretório não pode ser criado: ") + folder +
                         QStringLiteral(". Consulte o Administrador da rede pois seu usuário não tem permissão para "
                                        "criar esta pasta."));
    }
}

bool Session::loginEnabled() const
{
    const Dataset* configuration = m_datasets->configuration;
    if (!configuration->isOpen() || configuration->isEmpty()) {
        return false;
    }
    return configuration->fieldByName(QStringLiteral("Ativar_Login"))->asString() == QLatin1String("S");
}

MailSettings Session::mailSettings() const
{
    return MailSettings::fromConfiguration(*m_datasets->configuration);
}

VersionMismatch::VersionMismatch(const QString& databaseVersion)
    : Error(QStringLiteral("A versão do sistema é diferente do banco de dados! Banco: ") + databaseVersion)
    , m_databaseVersion(databaseVersion)
{
}

} // namespace tollbook
