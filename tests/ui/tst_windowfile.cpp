#include "ui/WindowFile.h"

#include "common/LanguageFileText.h"
#include "data/Dataset.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "ui/widgets/ActivityIndicator.h"
#include "ui/widgets/Panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace tollbook;

namespace {

// The purge dialog with its built-in Portuguese captions.
std::unique_ptr<QDialog> makePurgeDialog()
{
    auto dialog = std::make_unique<QDialog>();
    dialog->setObjectName(QStringLiteral("frmLimpa"));
    dialog->setWindowTitle(QStringLiteral("Manutenção da Base de Dados"));
    auto* layout = new QVBoxLayout(dialog.get());

    auto* group = new QGroupBox(QStringLiteral("Selecione o Período para Limpar a Base"), dialog.get());
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QHBoxLayout(group);
    const auto label = [group, grid](const char* name, const char* caption) {
        auto* widget = new QLabel(QString::fromUtf8(caption), group);
        widget->setObjectName(QLatin1String(name));
        grid->addWidget(widget);
    };
    const auto picker = [group, grid](const char* name, const char* hint) {
        auto* widget = new QDateEdit(group);
        widget->setObjectName(QLatin1String(name));
        widget->setCalendarPopup(true);
        widget->setToolTip(QString::fromUtf8(hint));
        grid->addWidget(widget);
    };
    label("Label1", "Data Inicial");
    label("Label2", "Data Final");
    picker("wwDataRi", "Data Inicial");
    picker("wwDataRf", "Data Final");
    layout->addWidget(group);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    for (const auto& [name, caption] : { std::pair{ "Button1", "Limpar" }, std::pair{ "Button2", "Fechar" } }) {
        auto* button = new QPushButton(QLatin1String(caption), dialog.get());
        button->setObjectName(QLatin1String(name));
        buttons->addWidget(button);
    }
    return dialog;
}

// A window with one component of every kind the files know, and some they do not.
struct Fixture
{
    std::unique_ptr<QDialog> dialog = std::make_unique<QDialog>();
    QGroupBox* group = nullptr;
    QLabel* inside = nullptr;
    QLabel* name = nullptr;
    QDateEdit* date = nullptr;
    QLineEdit* email = nullptr;
    QPushButton* ok = nullptr;
    Panel* emptyPanel = nullptr;
    Panel* costPanel = nullptr;
    DBCheckBox* handedOver = nullptr;
    QCheckBox* all = nullptr;
    ToggleSwitch* monitor = nullptr;
    QTabWidget* pages = nullptr;
    TabSheet* general = nullptr;
    CategoryPanel* filters = nullptr;
    QComboBox* sector = nullptr;
    QComboBox* user = nullptr;
    ActivityIndicator* busy = nullptr;
    QLabel* clock = nullptr;
    QListWidget* printers = nullptr;
    QMenu* language = nullptr;
    QAction* english = nullptr;
    QAction* save = nullptr;
    QAction* help = nullptr;
    Field* userName = nullptr;
    QLabel* otherWindowLabel = nullptr;

    template<typename T, typename... Args>
    T* make(const char* objectName, Args&&... args)
    {
        T* object = new T(std::forward<Args>(args)...);
        object->setObjectName(QLatin1String(objectName));
        return object;
    }

    Fixture()
    {
        QDialog* d = dialog.get();
        d->setObjectName(QStringLiteral("frmTeste"));
        d->setWindowTitle(QStringLiteral("Teste de Janela"));
        new QVBoxLayout(d);

        group = make<QGroupBox>("GroupBox1", QStringLiteral("Grupo"), d);
        inside = make<QLabel>("lbDentro", QStringLiteral("Dentro"), group);
        name = make<QLabel>("lbNome", QStringLiteral("&Nome:"), d);
        name->setToolTip(QStringLiteral("Nome do usuário"));
        date = make<QDateEdit>("wwData", d);
        date->setToolTip(QStringLiteral("Data da impressão"));
        email = make<QLineEdit>("edtEmail", d);
        ok = make<QPushButton>("btnOk", QStringLiteral("&OK"), d);
        emptyPanel = make<Panel>("Panel1", d);
        emptyPanel->setToolTip(QStringLiteral("Painel"));
        costPanel = make<Panel>("PanelCusto", d);
        costPanel->setCaption(QStringLiteral("Custo por página"));
        handedOver = make<DBCheckBox>("chkEntregue", QStringLiteral("Entregue"), d);
        handedOver->setToolTip(QStringLiteral("Marcado quando entregue"));
        all = make<QCheckBox>("chkTodos", QStringLiteral("Todos"), d);
        monitor = make<ToggleSwitch>("tsMonitor", d);
        monitor->setText(QStringLiteral("Monitor"));
        monitor->setToolTip(QStringLiteral("Liga o monitoramento"));
        pages = make<QTabWidget>("PageControl1", d);
        general = make<TabSheet>("TabSheet1", QStringLiteral("Geral"), pages);
        pages->addTab(general, general->caption());
        // Enough pages for the tab bar to need its scroll buttons.
        for (int page = 0; page < 30; ++page)
            pages->addTab(new QWidget, QStringLiteral("Página %1").arg(page));
        filters = make<CategoryPanel>("CategoryPanel1", d);
        filters->setCaption(QStringLiteral("Filtros"));
        sector = make<QComboBox>("cbSetor", d);
        sector->setToolTip(QStringLiteral("Setor"));
        user = make<QComboBox>("DBLCUsuario", d);
        user->setEditable(true);
        user->setToolTip(QStringLiteral("Usuário"));
        busy = make<ActivityIndicator>("ActivityIndicator1", d);
        busy->setToolTip(QStringLiteral("Capturando Impressão"));
        clock = make<QLabel>("lbHora", QStringLiteral("12:00:00"), d);
        clock->setProperty("tag", 9);
        printers = make<QListWidget>("lstImpressoras", d);
        printers->setToolTip(QStringLiteral("Impressoras"));
        language = make<QMenu>("Idioma1", QStringLiteral("Idioma"), d);
        english = language->addAction(QStringLiteral("Inglês (EN)"));
        english->setObjectName(QStringLiteral("InglsEN1"));
        save = make<QAction>("actSalvar", QStringLiteral("&Salvar..."), d);
        help = make<QAction>("actAjuda", QStringLiteral("Ajuda"), d);
        help->setToolTip(QStringLiteral("Abre a ajuda"));
        auto* dataset = new Dataset(QStringLiteral("SQL_X"), d);
        userName = dataset->addDataField(QStringLiteral("Nome"), FieldType::String, 50);
        userName->setDisplayLabel(QStringLiteral("Nome do usuário"));
        auto* other = make<QDialog>("frmOutro", d);
        otherWindowLabel = make<QLabel>("lbOutro", QStringLiteral("Outra janela"), other);
    }

    // What the files can change, read through the widgets' own API.
    QMap<QString, QString> state() const
    {
        return {
            { "title", dialog->windowTitle() },
            { "GroupBox1.Caption", group->title() },
            { "GroupBox1.Hint", group->toolTip() },
            { "lbDentro.Caption", inside->text() },
            { "lbNome.Caption", name->text() },
            { "lbNome.Hint", name->toolTip() },
            { "wwData.Hint", date->toolTip() },
            { "wwData.Inner", date->findChild<QLineEdit*>()->toolTip() },
            { "edtEmail.Hint", email->toolTip() },
            { "btnOk.Caption", ok->text() },
            { "btnOk.Hint", ok->toolTip() },
            { "Panel1.Caption", emptyPanel->caption() },
            { "Panel1.Hint", emptyPanel->toolTip() },
            { "PanelCusto.Caption", costPanel->caption() },
            { "chkEntregue.Caption", handedOver->text() },
            { "chkEntregue.Hint", handedOver->toolTip() },
            { "chkTodos.Caption", all->text() },
            { "tsMonitor.Caption", monitor->text() },
            { "tsMonitor.Hint", monitor->toolTip() },
            { "PageControl1.Hint", pages->toolTip() },
            { "TabSheet1.Caption", pages->tabText(0) },
            { "TabSheet1.Hint", general->toolTip() },
            { "CategoryPanel1.Caption", filters->caption() },
            { "cbSetor.Hint", sector->toolTip() },
            { "DBLCUsuario.Hint", user->toolTip() },
            { "ActivityIndicator1.Hint", busy->toolTip() },
            { "lbHora.Caption", clock->text() },
            { "lstImpressoras.Hint", printers->toolTip() },
            { "Idioma1.Caption", language->title() },
            { "Idioma1.Hint", language->menuAction()->toolTip() },
            { "InglsEN1.Caption", english->text() },
            { "actSalvar.Caption", save->text() },
            { "actAjuda.Hint", help->toolTip() },
            { "SQL_XNome.DisplayLabel", userName->displayLabel() },
            { "lbOutro.Caption", otherWindowLabel->text() },
        };
    }
};

} // namespace

class TestWindowFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void apply_data();
    void apply();
    void applyTakesTheFileOfTheCode();
    void missingFileChangesNothing();

    void exportPurgeDialog();
    void exportEveryKind();
    void exportedFileAppliesBack();

    void writeLinesAsWindows1252();
    void writeFailure();

private:
    QString writeFile(const QString& relativePath, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWindowFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Language::setInstallFolder(m_dir->path());
}

QString TestWindowFile::writeFile(const QString& relativePath, const QByteArray& bytes)
{
    const QString path = m_dir->filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

void TestWindowFile::apply_data()
{
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("changes"); // "key=value" of the state that differs afterwards

    QTest::newRow("only the section line blanks the title") << QStringList{ "[frmTeste]" } << QStringList{ "title=" };
    QTest::newRow("other section only") << QStringList{ "[frmOutro]", "frmTeste.Caption=X", "lbNome.Caption=X" }
                                        << QStringList{ "title=" };
    QTest::newRow("letter case of section and keys")
        << QStringList{ "[FRMTESTE]", "FRMTESTE.CAPTION=Test window", "LBNOME.caption=&Name:", "lbnome.HINT=User name" }
        << QStringList{ "title=Test window", "lbNome.Caption=&Name:", "lbNome.Hint=User name" };
    QTest::newRow("empty values leave the properties")
        << QStringList{ "[frmTeste]",        "frmTeste.Caption=Test",   "lbNome.Caption=", "lbNome.Hint=",
                        "btnOk.Caption=   ", "SQL_XNome.DisplayLabel=", "Idioma1.Caption=" }
        << QStringList{ "title=Test" };
    QTest::newRow("quotes and blanks") << QStringList{
        "[frmTeste]", "  frmTeste.Caption  =  Test  ", "btnOk.Caption=\"&Close\"", "btnOk.Hint='Closes the window'",
        "lbNome.Caption=\"\""
    } << QStringList{ "title=Test", "btnOk.Caption=&Close", "btnOk.Hint=Closes the window" };
    QTest::newRow("every kind") << QStringList{ "[frmTeste]",
                                                "frmTeste.Caption=Window test",
                                                "GroupBox1.Caption=Group",
                                                "GroupBox1.Hint=Group hint",
                                                "lbDentro.Caption=Inside",
                                                "wwData.Hint=Print date",
                                                "edtEmail.Hint=E-mail address",
                                                "Panel1.Caption=Panel",
                                                "Panel1.Hint=Panel hint",
                                                "PanelCusto.Caption=Cost per page",
                                                "chkEntregue.Caption=Handed over",
                                                "chkEntregue.Hint =Checked once handed over",
                                                "chkTodos.Caption=All",
                                                "tsMonitor.Hint=Turns monitoring on",
                                                "TabSheet1.Caption=General",
                                                "TabSheet1.Hint=General page",
                                                "CategoryPanel1.Caption=Filters",
                                                "DBLCUsuario.Hint=User",
                                                "ActivityIndicator1.Hint=Capturing prints",
                                                "lstImpressoras.Hint=Printers",
                                                "Idioma1.Caption=Language",
                                                "Idioma1.Hint=Interface language",
                                                "InglsEN1.Caption=English (EN)",
                                                "actSalvar.Caption=&Save...",
                                                "actAjuda.Hint=Opens the help",
                                                "SQL_XNome.DisplayLabel=User name",
                                                "lbHora.Caption=Clock" }
                                << QStringList{ "title=Window test",
                                                "GroupBox1.Caption=Group",
                                                "GroupBox1.Hint=Group hint",
                                                "lbDentro.Caption=Inside",
                                                "wwData.Hint=Print date",
                                                "edtEmail.Hint=E-mail address",
                                                "Panel1.Caption=Panel",
                                                "Panel1.Hint=Panel hint",
                                                "PanelCusto.Caption=Cost per page",
                                                "chkEntregue.Caption=Handed over",
                                                "chkEntregue.Hint=Checked once handed over",
                                                "chkTodos.Caption=All",
                                                "tsMonitor.Hint=Turns monitoring on",
                                                "TabSheet1.Caption=General",
                                                "TabSheet1.Hint=General page",
                                                "CategoryPanel1.Caption=Filters",
                                                "DBLCUsuario.Hint=User",
                                                "ActivityIndicator1.Hint=Capturing prints",
                                                "lstImpressoras.Hint=Printers",
                                                "Idioma1.Caption=Language",
                                                "Idioma1.Hint=Interface language",
                                                "InglsEN1.Caption=English (EN)",
                                                "actSalvar.Caption=&Save...",
                                                "actAjuda.Hint=Opens the help",
                                                "SQL_XNome.DisplayLabel=User name",
                                                "lbHora.Caption=Clock" };
    QTest::newRow("keys no component of that kind takes") << QStringList{ "[frmTeste]",
                                                                          "frmTeste.Caption=Test",
                                                                          "tsMonitor.Caption=Switch",
                                                                          "wwData.Caption=Date",
                                                                          "cbSetor.Hint=Sector",
                                                                          "PageControl1.Hint=Pages",
                                                                          "SQL_XNome.Caption=Name",
                                                                          "SQL_XNome.Hint=Name",
                                                                          "qt_spinbox_lineedit.Hint=Inner",
                                                                          "lbOutro.Caption=Other window",
                                                                          "frmOutro.Caption=Other window" }
                                                          << QStringList{ "title=Test" };
}

void TestWindowFile::apply()
{
    QFETCH(QStringList, file);
    QFETCH(QStringList, changes);

    Fixture fixture;
    QMap<QString, QString> expected = fixture.state();
    for (const QString& change : changes) {
        const int equals = int(change.indexOf(QLatin1Char('=')));
        QVERIFY2(expected.contains(change.left(equals)), qPrintable(change));
        expected[change.left(equals)] = change.mid(equals + 1);
    }

    const QString path = writeFile(QStringLiteral("frmTeste.lpu"), cp1252Lines(file));
    QVERIFY(!path.isEmpty());
    WindowFile::applyFile(fixture.dialog.get(), path);
    QCOMPARE(fixture.state(), expected);
}

void TestWindowFile::applyTakesTheFileOfTheCode()
{
    writeFile(QStringLiteral("language/en/frmTeste.lpu"),
              cp1252Lines({ "[frmTeste]", "frmTeste.Caption=Window test", "btnOk.Hint=Confirms" }));
    writeFile(QStringLiteral("language/es/frmTeste.lpu"),
              cp1252Lines({ "[frmTeste]", "frmTeste.Caption=Prueba", "lbNome.Caption=Nombre" }));
    writeFile(QStringLiteral("language/en/frmOutro.lpu"), cp1252Lines({ "[frmTeste]", "frmTeste.Caption=Wrong" }));

    Fixture fixture;
    WindowFile::apply(fixture.dialog.get(), QStringLiteral("en"));
    QCOMPARE(fixture.dialog->windowTitle(), QStringLiteral("Window test"));
    QCOMPARE(fixture.ok->toolTip(), QStringLiteral("Confirms"));
    WindowFile::apply(fixture.dialog.get(), QStringLiteral("es"));
    QCOMPARE(fixture.dialog->windowTitle(), QStringLiteral("Prueba"));
    QCOMPARE(fixture.name->text(), QStringLiteral("Nombre"));
    QCOMPARE(fixture.ok->toolTip(), QStringLiteral("Confirms")); // what an earlier file set stays
}

void TestWindowFile::missingFileChangesNothing()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("language/en/frmTeste.lpu"))); // a folder, not a file
    Fixture fixture;
    const QMap<QString, QString> before = fixture.state();
    WindowFile::apply(fixture.dialog.get(), QStringLiteral("en"));
    WindowFile::apply(fixture.dialog.get(), QStringLiteral("pt_BR"));
    WindowFile::apply(fixture.dialog.get(), QString());
    WindowFile::applyFile(fixture.dialog.get(), m_dir->filePath(QStringLiteral("none.lpu")));
    QCOMPARE(fixture.state(), before);
}

void TestWindowFile::exportPurgeDialog()
{
    const std::unique_ptr<QDialog> dialog = makePurgeDialog();
    const QStringList expected = {
        QStringLiteral("[frmLimpa]"),
        QStringLiteral("frmLimpa.Caption=Manutenção da Base de Dados"),
        QStringLiteral("GroupBox1.Caption=Selecione o Período para Limpar a Base"),
        QStringLiteral("GroupBox1.Hint="),
        QStringLiteral("Label1.Caption=Data Inicial"),
        QStringLiteral("Label1.Hint="),
        QStringLiteral("Label2.Caption=Data Final"),
        QStringLiteral("Label2.Hint="),
        QStringLiteral("wwDataRi.Hint=Data Inicial"),
        QStringLiteral("wwDataRf.Hint=Data Final"),
        QStringLiteral("Button1.Caption=Limpar"),
        QStringLiteral("Button1.Hint="),
        QStringLiteral("Button2.Caption=Fechar"),
        QStringLiteral("Button2.Hint="),
    };
    QCOMPARE(WindowFile::exportLines(dialog.get()), expected);

    const QString path = m_dir->filePath(QStringLiteral("frmLimpa.lpu"));
    WindowFile::writeLines(path, expected);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("[frmLimpa]\r\nfrmLimpa.Caption=Manuten\xE7\xE3o da Base de Dados\r\n"));
    QVERIFY(bytes.contains("\r\nGroupBox1.Caption=Selecione o Per\xEDodo para Limpar a Base\r\n"));
    QVERIFY(bytes.endsWith("\r\nButton2.Hint=\r\n"));
    QCOMPARE(bytes.count("\r\n"), 14);
    QCOMPARE(bytes.count('\n'), 14);
    QCOMPARE(bytes.count('\r'), 14);
}

void TestWindowFile::exportEveryKind()
{
    Fixture fixture;
    const QStringList expected = {
        QStringLiteral("[frmTeste]"),
        QStringLiteral("frmTeste.Caption=Teste de Janela"),
        QStringLiteral("GroupBox1.Caption=Grupo"),
        QStringLiteral("GroupBox1.Hint="),
        QStringLiteral("lbDentro.Caption=Dentro"),
        QStringLiteral("lbDentro.Hint="),
        QStringLiteral("lbNome.Caption=&Nome:"),
        QStringLiteral("lbNome.Hint=Nome do usuário"),
        QStringLiteral("wwData.Hint=Data da impressão"),
        QStringLiteral("edtEmail.Hint="),
        QStringLiteral("btnOk.Caption=&OK"),
        QStringLiteral("btnOk.Hint="),
        // Panel1 has no caption: no lines, although it has a hint.
        QStringLiteral("PanelCusto.Caption=Custo por página"),
        QStringLiteral("PanelCusto.Hint="),
        QStringLiteral("chkEntregue.Caption=Entregue"),
        QStringLiteral("chkEntregue.Hint =Marcado quando entregue"),
        QStringLiteral("chkTodos.Caption=Todos"),
        QStringLiteral("chkTodos.Hint="),
        QStringLiteral("tsMonitor.Hint=Liga o monitoramento"),
        QStringLiteral("TabSheet1.Caption=Geral"),
        QStringLiteral("TabSheet1.Hint="),
        QStringLiteral("CategoryPanel1.Caption=Filtros"),
        QStringLiteral("CategoryPanel1.Hint="),
        // cbSetor picks only: nothing. The typed user picker and the activity indicator: their hints.
        QStringLiteral("DBLCUsuario.Hint=Usuário"),
        QStringLiteral("ActivityIndicator1.Hint=Capturando Impressão"),
        // lbHora carries tag 9.
        QStringLiteral("lstImpressoras.Hint=Impressoras"),
        QStringLiteral("Idioma1.Caption=Idioma"),
        QStringLiteral("Idioma1.Hint="),
        QStringLiteral("InglsEN1.Caption=Inglês (EN)"),
        QStringLiteral("InglsEN1.Hint="),
        QStringLiteral("actSalvar.Caption=&Salvar..."),
        QStringLiteral("actSalvar.Hint="),
        QStringLiteral("actAjuda.Caption=Ajuda"),
        QStringLiteral("actAjuda.Hint=Abre a ajuda"),
        QStringLiteral("SQL_XNome.DisplayLabel=Nome do usuário"),
    };
    QCOMPARE(WindowFile::exportLines(fixture.dialog.get()), expected);

    // A tag on the menu itself counts for its action too.
    fixture.language->setProperty("tag", 9);
    fixture.clock->setProperty("tag", 0);
    QStringList changed = expected;
    changed.removeAll(QStringLiteral("Idioma1.Caption=Idioma"));
    changed.removeAll(QStringLiteral("Idioma1.Hint="));
    changed.insert(changed.indexOf(QStringLiteral("lstImpressoras.Hint=Impressoras")),
                   QStringLiteral("lbHora.Caption=12:00:00"));
    changed.insert(changed.indexOf(QStringLiteral("lstImpressoras.Hint=Impressoras")), QStringLiteral("lbHora.Hint="));
    QCOMPARE(WindowFile::exportLines(fixture.dialog.get()), changed);
}

void TestWindowFile::exportedFileAppliesBack()
{
    // A window re-labelled by one file exports a file that re-labels a fresh window the same way.
    Fixture english;
    const QString englishPath =
        writeFile(QStringLiteral("english.lpu"),
                  cp1252Lines({ "[frmTeste]", "frmTeste.Caption=Window test", "GroupBox1.Caption=Group",
                                "lbNome.Caption=&Name:", "lbNome.Hint=User name", "btnOk.Hint=Confirms",
                                "chkEntregue.Hint =Handed over", "Idioma1.Caption=Language",
                                "SQL_XNome.DisplayLabel=User name", "Panel1.Caption=Panel" }));
    WindowFile::applyFile(english.dialog.get(), englishPath);
    const QStringList lines = WindowFile::exportLines(english.dialog.get());

    const QString exported = m_dir->filePath(QStringLiteral("exported.lpu"));
    WindowFile::writeLines(exported, lines);
    Fixture fresh;
    WindowFile::applyFile(fresh.dialog.get(), exported);
    QCOMPARE(fresh.state(), english.state());
    QCOMPARE(WindowFile::exportLines(fresh.dialog.get()), lines);

    // And applying a window's own export to it changes nothing.
    Fixture same;
    const QMap<QString, QString> before = same.state();
    WindowFile::writeLines(exported, WindowFile::exportLines(same.dialog.get()));
    WindowFile::applyFile(same.dialog.get(), exported);
    QCOMPARE(same.state(), before);
}

void TestWindowFile::writeLinesAsWindows1252()
{
    const QString path = m_dir->filePath(QStringLiteral("out.lpu"));
    writeFile(QStringLiteral("out.lpu"), QByteArray("an older, longer file\r\nwith two lines\r\n"));
    WindowFile::writeLines(path, { QStringLiteral("[frmX]"), QStringLiteral("a.Caption=Ação €5"),
                                   QStringLiteral("b.Hint="), QStringLiteral("c.Caption=中 ok") });
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[frmX]\r\na.Caption=A\xE7\xE3o \x80"
                                        "5\r\nb.Hint=\r\nc.Caption=? ok\r\n"));
    file.close();

    WindowFile::writeLines(path, {});
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray());
}

void TestWindowFile::writeFailure()
{
    const QString path = m_dir->filePath(QStringLiteral("no such folder/frmLimpa.lpu"));
    try {
        WindowFile::writeLines(path, { QStringLiteral("[frmLimpa]") });
        QFAIL("no error raised");
    } catch (const PlainError& error) {
        QCOMPARE(error.message(), QStringLiteral("Unable to write to ") + path);
    }
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_MAIN(TestWindowFile)
#include "tst_windowfile.moc"
