#include "platform/IniFile.h"
#include "platform/Errors.h"

#include "common/FileSystemFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tollbook;

namespace {

QByteArray cp1252(const QString& text)
{
    QStringEncoder encoder("windows-1252");
    return encoder.encode(text);
}

QByteArray utf16le(const QString& text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(text));
}

QByteArray utf8bom(const QString& text)
{
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace

class IniFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void readValue_data();
    void readValue();
    void readMissingFile();

    void writeValue_data();
    void writeValue();
    void writeFailure_data();
    void writeFailure();
    void fullDiskKeepsTheFile();
    void writeAsAnotherUser_data();
    void writeAsAnotherUser();
    void newFileForOwnerAndGroupOnly();

private:
    void putFile(const QByteArray& bytes);
    QByteArray fileBytes() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void IniFileTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("config.ini"));
}

void IniFileTest::putFile(const QByteArray& bytes)
{
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray IniFileTest::fileBytes() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void IniFileTest::readValue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray app("[App]\r\nPID=1234\r\nCaminho=C:\\Tollbook\r\n");
    QTest::newRow("key found") << app << "App"
                               << "Caminho"
                               << "C:\\Tollbook";
    QTest::newRow("missing key") << app << "App"
                                 << "Idioma" << QString();
    QTest::newRow("missing section") << app << "Outro"
                                     << "PID" << QString();
    QTest::newRow("key of another section") << QByteArray("[A]\r\nK=1\r\n[B]\r\nX=2\r\n") << "B"
                                            << "K" << QString();
    QTest::newRow("key before any section") << QByteArray("K=1\r\n[App]\r\nX=2\r\n") << "App"
                                            << "K" << QString();
    QTest::newRow("empty file") << QByteArray() << "App"
                                << "PID" << QString();
    QTest::newRow("case of section and key") << QByteArray("[aPP]\r\npid=7\r\n") << "App"
                                             << "PID"
                                             << "7";
    QTest::newRow("blanks around key and value") << QByteArray("[App]\r\n \t PID \t=  42 \t\r\n") << "App"
                                                 << "PID"
                                                 << "42";
    QTest::newRow("blanks inside the value kept") << QByteArray("[App]\r\nK= a  b \r\n") << "App"
                                                  << "K"
                                                  << "a  b";
    QTest::newRow("indented section line") << QByteArray("  [App]\r\nK=1\r\n") << "App"
                                           << "K"
                                           << "1";
    QTest::newRow("double quotes dropped") << QByteArray("[App]\r\nK=\" a b \"\r\n") << "App"
                                           << "K"
                                           << " a b ";
    QTest::newRow("single quotes dropped") << QByteArray("[App]\r\nK='a b'\r\n") << "App"
                                           << "K"
                                           << "a b";
    QTest::newRow("quotes inside blanks dropped") << QByteArray("[App]\r\nK=  \"x\"  \r\n") << "App"
                                                  << "K"
                                                  << "x";
    QTest::newRow("mixed quotes kept") << QByteArray("[App]\r\nK=\"a b'\r\n") << "App"
                                       << "K"
                                       << "\"a b'";
    QTest::newRow("lone quote kept") << QByteArray("[App]\r\nK=\"\r\n") << "App"
                                     << "K"
                                     << "\"";
    QTest::newRow("opening quote only kept") << QByteArray("[App]\r\nK='abc\r\n") << "App"
                                             << "K"
                                             << "'abc";
    QTest::newRow("value holding equals signs") << QByteArray("[App]\r\nK=a=b\r\n") << "App"
                                                << "K"
                                                << "a=b";
    QTest::newRow("empty value") << QByteArray("[App]\r\nPID=\r\n") << "App"
                                 << "PID" << QString();
    QTest::newRow("no escapes") << QByteArray("[Principal]\r\nMsg=a\\nb\r\n") << "Principal"
                                << "Msg"
                                << "a\\nb";
    QTest::newRow("first of repeated keys") << QByteArray("[App]\r\nK=1\r\nK=2\r\n") << "App"
                                            << "K"
                                            << "1";
    QTest::newRow("first of repeated sections") << QByteArray("[App]\r\nK=1\r\n[App]\r\nK=2\r\n") << "App"
                                                << "K"
                                                << "1";

    const QString x2047(2047, u'x');
    QTest::newRow("2047 characters kept") << QByteArray("[A]\r\nK=") + x2047.toLatin1() << "A"
                                          << "K" << x2047;
    QTest::newRow("2048 characters cut") << QByteArray("[A]\r\nK=") + x2047.toLatin1() + 'y' << "A"
                                         << "K" << x2047;
    QTest::newRow("3000 characters cut") << QByteArray("[A]\r\nK=") + QByteArray(3000, 'x') + "\r\n"
                                         << "A"
                                         << "K" << x2047;
    QTest::newRow("quotes dropped before the cut") << QByteArray("[A]\r\nK=\"") + x2047.toLatin1() + "\"\r\n"
                                                   << "A"
                                                   << "K" << x2047;

    QTest::newRow("LF line ends") << QByteArray("[App]\nA=1\nK=2\n") << "App"
                                  << "K"
                                  << "2";
    QTest::newRow("CR line ends") << QByteArray("[App]\rA=1\rK=2\r") << "App"
                                  << "K"
                                  << "2";
    QTest::newRow("last line without line end") << QByteArray("[App]\r\nK=2") << "App"
                                                << "K"
                                                << "2";
    QTest::newRow("Windows-1252 accents")
        << cp1252(QStringLiteral("[frmLimpa]\r\nfrmLimpa.Caption=Manutenção da Base de Dados\r\n")) << "frmLimpa"
        << "frmLimpa.Caption"
        << "Manutenção da Base de Dados";
    QTest::newRow("UTF-8 without mark read as Windows-1252") << QByteArray("[A]\r\nK=\xC3\xA7\r\n") << "A"
                                                             << "K"
                                                             << "Ã§";
    QTest::newRow("UTF-16LE with mark") << utf16le(QStringLiteral("[Config]\r\nTitulo=Configuração 設定\r\n"))
                                        << "config"
                                        << "TITULO"
                                        << "Configuração 設定";
    QTest::newRow("UTF-16LE with CR line ends") << utf16le(QStringLiteral("[A]\rB=1\rK=é\r")) << "A"
                                                << "K"
                                                << "é";
    QTest::newRow("UTF-8 with mark") << utf8bom(QStringLiteral("[A]\r\nK=Período\r\n")) << "A"
                                     << "K"
                                     << "Período";
}

void IniFileTest::readValue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    putFile(content);
    QCOMPARE(IniFile::readValue(m_path, section, key), expected);
}

void IniFileTest::readMissingFile()
{
    QCOMPARE(IniFile::readValue(m_path, QStringLiteral("App"), QStringLiteral("PID")), QString());
    QCOMPARE(IniFile::readValue(m_dir->filePath(QStringLiteral("no/such/config.ini")), QStringLiteral("App"),
                                QStringLiteral("PID")),
             QString());
}

void IniFileTest::writeValue_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << false << QByteArray() << "App"
                              << "PID"
                              << "1234" << QByteArray("[App]\r\nPID=1234\r\n");
    QTest::newRow("empty value written as key=") << true << QByteArray("[App]\r\nPID=1234\r\n") << "App"
                                                 << "PID" << QString() << QByteArray("[App]\r\nPID=\r\n");
    QTest::newRow("empty value for a new key") << true << QByteArray("[App]\r\n") << "App"
                                               << "PID" << QString() << QByteArray("[App]\r\nPID=\r\n");
    QTest::newRow("replaced in place, other lines kept")
        << true << QByteArray("; installer\r\n[app]\r\n  Pid = 1 \r\nCaminho=C:\\TB\r\n\r\n[Next]\r\nPID=9\r\n")
        << "App"
        << "PID"
        << "42" << QByteArray("; installer\r\n[app]\r\nPid=42\r\nCaminho=C:\\TB\r\n\r\n[Next]\r\nPID=9\r\n");
    QTest::newRow("only the first of repeated keys") << true << QByteArray("[App]\r\nK=1\r\nK=2\r\n") << "App"
                                                     << "K"
                                                     << "9" << QByteArray("[App]\r\nK=9\r\nK=2\r\n");
    QTest::newRow("new key after the last non-blank line of its section")
        << true << QByteArray("[App]\r\nA=1\r\n\r\n[B]\r\nC=2\r\n") << "App"
        << "D"
        << "4" << QByteArray("[App]\r\nA=1\r\nD=4\r\n\r\n[B]\r\nC=2\r\n");
    QTest::newRow("new key in an empty section") << true << QByteArray("[App]\r\n\r\n[B]\r\n") << "App"
                                                 << "K"
                                                 << "v" << QByteArray("[App]\r\nK=v\r\n\r\n[B]\r\n");
    QTest::newRow("new key in the last section") << true << QByteArray("[A]\r\nX=1\r\n[App]\r\nY=2\r\n\r\n") << "App"
                                                 << "K"
                                                 << "v" << QByteArray("[A]\r\nX=1\r\n[App]\r\nY=2\r\nK=v\r\n\r\n");
    QTest::newRow("new section at the end") << true << QByteArray("[A]\r\nX=1\r\n") << "App"
                                            << "PID"
                                            << "7" << QByteArray("[A]\r\nX=1\r\n[App]\r\nPID=7\r\n");
    QTest::newRow("new section after a last line without line end")
        << true << QByteArray("[A]\r\nX=1") << "App"
        << "PID"
        << "7" << QByteArray("[A]\r\nX=1\r\n[App]\r\nPID=7\r\n");
    QTest::newRow("new key after a last line without line end") << true << QByteArray("[App]\r\nA=1") << "App"
                                                                << "B"
                                                                << "2" << QByteArray("[App]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("LF file stays LF") << true << QByteArray("[App]\nA=1\n[B]\nC=3\n") << "App"
                                      << "K"
                                      << "v" << QByteArray("[App]\nA=1\nK=v\n[B]\nC=3\n");
    QTest::newRow("CR file stays CR") << true << QByteArray("[App]\rA=1\r") << "App"
                                      << "A"
                                      << "2" << QByteArray("[App]\rA=2\r");
    QTest::newRow("mixed line ends kept, new line takes the first")
        << true << QByteArray("[App]\nA=1\r\nB=2\r") << "App"
        << "C"
        << "3" << QByteArray("[App]\nA=1\r\nB=2\rC=3\n");
    QTest::newRow("Windows-1252 stays Windows-1252")
        << true << cp1252(QStringLiteral("[frmLimpa]\r\nfrmLimpa.Caption=Manutenção\r\n")) << "frmLimpa"
        << "Button1.Caption"
        << "Limpar já"
        << cp1252(QStringLiteral("[frmLimpa]\r\nfrmLimpa.Caption=Manutenção\r\nButton1.Caption=Limpar já\r\n"));
    QTest::newRow("UTF-16LE stays UTF-16LE")
        << true << utf16le(QStringLiteral("[App]\r\nCaminho=C:\\Tollbook\r\n")) << "App"
        << "PID"
        << "99" << utf16le(QStringLiteral("[App]\r\nCaminho=C:\\Tollbook\r\nPID=99\r\n"));
    QTest::newRow("UTF-8 stays UTF-8") << true << utf8bom(QStringLiteral("[A]\r\nX=ç\r\n")) << "A"
                                       << "X"
                                       << "ão" << utf8bom(QStringLiteral("[A]\r\nX=ão\r\n"));
    QTest::newRow("undecodable bytes of other lines kept")
        << true << QByteArray("\xEF\xBB\xBF[A]\r\nX=\xFF\xFE\r\n") << "A"
        << "K"
        << "v" << QByteArray("\xEF\xBB\xBF[A]\r\nX=\xFF\xFE\r\nK=v\r\n");
    QTest::newRow("characters outside Windows-1252 turn the file into UTF-16LE")
        << true << cp1252(QStringLiteral("[App]\r\nA=ção\r\n")) << "App"
        << "K"
        << "Łódź" << utf16le(QStringLiteral("[App]\r\nA=ção\r\nK=Łódź\r\n"));
}

void IniFileTest::writeValue()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    if (exists)
        putFile(before);
    IniFile::writeValue(m_path, section, key, value);

    QCOMPARE(fileBytes(), after);
    QCOMPARE(IniFile::readValue(m_path, section, key), value);
    // Nothing of the replacement is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{ QStringLiteral("config.ini") });
}

void IniFileTest::writeFailure_data()
{
    QTest::addColumn<QString>("path");
    // The tests may run as root, for whom a read-only folder is no obstacle.
    QTest::newRow("parent is a regular file") << QStringLiteral("plain/config.ini");
    QTest::newRow("path is a folder") << QStringLiteral("folder");
}

void IniFileTest::writeFailure()
{
    QFETCH(QString, path);

    QFile plain(m_dir->filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));

    const QString fullPath = m_dir->filePath(path);
    try {
        IniFile::writeValue(fullPath, QStringLiteral("App"), QStringLiteral("PID"), QStringLiteral("1"));
        QFAIL("no error raised");
    } catch (const PlainError& error) {
        QCOMPARE(error.message(), QStringLiteral("Unable to write to ") + fullPath);
    }
}

void IniFileTest::fullDiskKeepsTheFile()
{
    if (!FileSystemFixture::isRoot()) {
        QSKIP("mounting a small file system needs root");
    }
    FileSystemFixture::SmallTmpfs disk(128);
    if (!disk.isMounted()) {
        QSKIP("this machine refuses to mount a tmpfs (a container without the right to mount)");
    }
    m_path = disk.filePath(QStringLiteral("config.ini"));
    const QByteArray before("[App]\r\nDataBase=/srv/tollbook/Tollbook.db\r\nLanguage=pt_BR\r\n");
    putFile(before);
    QVERIFY(disk.fill());

    // Any change needs room: the start-up's PID, and a long value.
    for (const QString& value : { QStringLiteral("1"), QString(4000, u'x') }) {
        try {
            IniFile::writeValue(m_path, QStringLiteral("App"), QStringLiteral("PID"), value);
            QFAIL("no error raised");
        } catch (const PlainError& error) {
            QCOMPARE(error.message(), QStringLiteral("Unable to write to ") + m_path);
        }
        QCOMPARE(fileBytes(), before);
        QCOMPARE(IniFile::readValue(m_path, QStringLiteral("App"), QStringLiteral("DataBase")),
                 QStringLiteral("/srv/tollbook/Tollbook.db"));
    }
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({ QStringLiteral("config.ini"), QStringLiteral("filler") }));
}

void IniFileTest::writeAsAnotherUser_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("written");

    // As an installation under /opt: the folder belongs to root, the file may be written by the user.
    QTest::newRow("folder refuses new files, file writable") << 0755 << 0666 << true;
    QTest::newRow("folder open, file writable") << 0777 << 0666 << true;
    QTest::newRow("folder refuses new files, file read-only") << 0755 << 0644 << false;
    QTest::newRow("folder open, file read-only") << 0777 << 0644 << false;
}

void IniFileTest::writeAsAnotherUser()
{
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(bool, written);
    if (!FileSystemFixture::isRoot()) {
        QSKIP("acting as another user needs root");
    }
    QVERIFY(FileSystemFixture::letNobodyThrough(m_dir->path()));
    const QByteArray before("; installer\r\n[App]\r\nLanguage=pt_BR\r\n");
    putFile(before);
    QVERIFY(::chmod(QFile::encodeName(m_path).constData(), static_cast<mode_t>(fileMode)) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), static_cast<mode_t>(folderMode)) == 0);

    const QString path = m_path;
    const int outcome = FileSystemFixture::runAsNobody([&path]() {
        try {
            IniFile::writeValue(path, QStringLiteral("App"), QStringLiteral("Language"), QStringLiteral("es"));
            return 0;
        } catch (const PlainError&) {
            return 1;
        }
    });
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0700) == 0);

    QCOMPARE(outcome, written ? 0 : 1);
    QCOMPARE(fileBytes(), written ? QByteArray("; installer\r\n[App]\r\nLanguage=es\r\n") : before);
    struct stat info
    {
    };
    QVERIFY(::stat(QFile::encodeName(m_path).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), fileMode);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{ QStringLiteral("config.ini") });
}

void IniFileTest::newFileForOwnerAndGroupOnly()
{
    const mode_t previous = ::umask(022);
    IniFile::writeValue(m_path, QStringLiteral("App"), QStringLiteral("PID"), QStringLiteral("1"));
    ::umask(previous);
    struct stat info
    {
    };
    QVERIFY(::stat(QFile::encodeName(m_path).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), 0640);
}

QTEST_GUILESS_MAIN(IniFileTest)
#include "IniFileTest.moc"
