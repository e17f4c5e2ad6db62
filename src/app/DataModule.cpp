#include "app/DataModule.h"

#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "mail/TollMail.h"
#include "session/Session.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/ModalWait.h"

#include <QApplication>
#include <QCoreApplication>

namespace tollbook {

DataModule::DataModule(const QString& installFolder, QObject* parent)
    : QObject(parent)
    , m_session(installFolder)
    , m_tollMail(new TollMail(this))
{
    setObjectName(QStringLiteral("Tdm"));

    m_tollMail->setObjectName(QStringLiteral("TollMail1"));
    m_tollMail->notifySuccess = false;
    m_tollMail->setVersion(QStringLiteral("2.0.0.0"));
    m_tollMail->setReporter([](TollMail::Notice kind, const QString& text) {
        MessageBox::show(kind == TollMail::Notice::Information ? BoxKind::Information : BoxKind::Warning, text,
                         MessageBox::Buttons::Ok, QApplication::activeWindow());
    });
    m_tollMail->setTransferRunner([](const std::function<void()>& transfer) {
        ModalWait::run(Language::message(QStringLiteral("Mail"), QStringLiteral("sMsgEnviandoEmail")), transfer,
                       QApplication::activeWindow());
    });
}

DataModule::~DataModule() = default;

bool DataModule::create()
{
    QCoreApplication::setApplicationName(ProductName);
    if (!m_session.configure()) {
        endApplication();
        return false;
    }
    try {
        m_session.connect();
        QCoreApplication::processEvents();
        m_session.checkVersion();
        m_session.createJobsFolder();
        applyLanguageSetup();
    } catch (const VersionMismatch& mismatch) {
        MessageBox::show(BoxKind::Error, mismatch.message(), MessageBox::Buttons::Ok);
        endApplication();
        return false;
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
    return true;
}

void DataModule::applyLanguageSetup()
{
    Language::applySetup();
    Q_EMIT languageSetUp();
}

void DataModule::endApplication()
{
    m_endRequested = true;
    Q_EMIT endApplicationRequested();
}

} // namespace tollbook
