#include "ui/pages/ChartsPage.h"

#include "data/Catalogue.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "platform/AtomicFile.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/GridModel.h"
#include "ui/WaitCursor.h"
#include "ui/widgets/BarChartView.h"
#include "ui/widgets/DatePicker.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tollbook {

namespace {

const QString PrincipalSection = QStringLiteral("Principal");
const QString AxisTitle = QStringLiteral("Número de Páginas");
constexpr int ToolBarHeight = 33;
constexpr int ChartHeight = 380;

} // namespace

struct ChartsPage::ChartPanel
{
    Dataset* dataset = nullptr;
    QString startParam;
    QString endParam;
    QString keyField;
    QString labelField;
    QString titleKey;    // "DBChart1": the message keys are "<key>.Title1" and "<key>.Title2"
    QString designTitle; // the saved picture's first title line, the same in every language
    QString fileName;
    DatePicker* start = nullptr;
    DatePicker* end = nullptr;
    BarChartView* view = nullptr;
    // The period the bars were read for; null while nothing is loaded.
    QDate loadedStart{};
    QDate loadedEnd{};
};

ChartsPage::ChartsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Gráficos "), parent)
    , m_userModel(new GridModel(datasets->userChart, this))
    , m_sectorModel(new GridModel(datasets->sectorChart, this))
    , m_users(std::make_unique<ChartPanel>())
    , m_sectors(std::make_unique<ChartPanel>())
    , m_saveFolder(QCoreApplication::applicationDirPath())
    , m_open([](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
{
    setObjectName(QStringLiteral("tab5"));

    *m_users = { datasets->userChart,
                 QStringLiteral("DataIni"),
                 QStringLiteral("DataFim"),
                 QStringLiteral("Usuario_Id"),
                 QStringLiteral("lk_Usuario"),
                 QStringLiteral("DBChart1"),
                 QStringLiteral("Impressão por Usuários"),
                 QStringLiteral("grafico_usuario.bmp") };
    *m_sectors = { datasets->sectorChart,
                   QStringLiteral("datai"),
                   QStringLiteral("dataf"),
                   QStringLiteral("Setor_id"),
                   QStringLiteral("lk_Setor"),
                   QStringLiteral("DBChart2"),
                   QStringLiteral("Impressão por Setores"),
                   QStringLiteral("grafico_setor.bmp") };

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* group = new QWidget(scroll);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groupLayout->setSpacing(2);
    CategoryPanel* users =
        createPanel(*m_users, QStringLiteral("Usuários"), QStringLiteral("Label6"), QStringLiteral("dtGraficoIni"),
                    QStringLiteral("dtGraficoFim"), QStringLiteral("btnRGraficoUsuario"),
                    QStringLiteral("SpeedButton1"), QStringLiteral("DBChart1"));
    users->setCaption(QStringLiteral("Usuários"));
    CategoryPanel* sectors =
        createPanel(*m_sectors, QStringLiteral("Setores"), QStringLiteral("Label7"), QStringLiteral("dtGraficoSini"),
                    QStringLiteral("dtGraficoSfim"), QStringLiteral("btnRGraficoSetor"), QStringLiteral("SpeedButton2"),
                    QStringLiteral("DBChart2"));
    sectors->setCaption(QStringLiteral("Setores"));
    sectors->setCollapsed(true);
    groupLayout->addWidget(users);
    groupLayout->addWidget(sectors);
    groupLayout->addStretch();
    scroll->setWidget(group);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
}

ChartsPage::~ChartsPage() = default;

CategoryPanel* ChartsPage::createPanel(ChartPanel& chart, const QString& name, const QString& labelName,
                                       const QString& startName, const QString& endName, const QString& reloadName,
                                       const QString& saveName, const QString& viewName)
{
    auto* panel = new CategoryPanel(this);
    panel->setObjectName(name);
    auto* layout = new QVBoxLayout(panel->content());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QWidget(panel->content());
    bar->setFixedHeight(ToolBarHeight);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(6, 2, 6, 2);
    barLayout->setSpacing(6);
    auto* label = new QLabel(QStringLiteral("Período:"), bar);
    label->setObjectName(labelName);
    barLayout->addWidget(label);
    chart.start = new DatePicker(bar);
    chart.start->setObjectName(startName);
    chart.start->setToolTip(QStringLiteral("Data Inicial"));
    barLayout->addWidget(chart.start);
    chart.end = new DatePicker(bar);
    chart.end->setObjectName(endName);
    chart.end->setToolTip(QStringLiteral("Data Final"));
    barLayout->addWidget(chart.end);
    auto* reload = new QToolButton(bar);
    reload->setObjectName(reloadName);
    reload->setToolTip(QStringLiteral("Atualizar"));
    reload->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    reload->setAutoRaise(true);
    barLayout->addWidget(reload);
    auto* save = new QToolButton(bar);
    save->setObjectName(saveName);
    save->setToolTip(QStringLiteral("Salvar Gráfico"));
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    save->setAutoRaise(true);
    barLayout->addWidget(save);
    barLayout->addStretch();
    layout->addWidget(bar);

    chart.view = new BarChartView(panel->content());
    chart.view->setObjectName(viewName);
    chart.view->setMinimumHeight(ChartHeight);
    chart.view->chart().setAxisTitle(AxisTitle);
    chart.view->chart().setTitleLines({ chart.designTitle });
    layout->addWidget(chart.view);

    const Chart which = &chart == m_users.get() ? Users : Sectors;
    connect(reload, &QToolButton::clicked, this, ErrorHandler::guarded([this, which] { this->reload(which); }));
    connect(save, &QToolButton::clicked, this, ErrorHandler::guarded([this, which] { this->save(which); }));
    return panel;
}

ChartsPage::ChartPanel& ChartsPage::panel(Chart chart) const
{
    return chart == Users ? *m_users : *m_sectors;
}

BarChartView* ChartsPage::chartView(Chart chart) const
{
    return panel(chart).view;
}

DatePicker* ChartsPage::startPicker(Chart chart) const
{
    return panel(chart).start;
}

DatePicker* ChartsPage::endPicker(Chart chart) const
{
    return panel(chart).end;
}

void ChartsPage::setSaveFolder(const QString& folder)
{
    m_saveFolder = folder;
}

QString ChartsPage::picturePath(Chart chart) const
{
    return QDir(m_saveFolder).filePath(panel(chart).fileName);
}

void ChartsPage::showDay(const QDate& day)
{
    for (const Chart chart : { Users, Sectors }) {
        panel(chart).start->setDate(day);
        panel(chart).end->setDate(day);
        reload(chart);
    }
}

QList<ChartBar> ChartsPage::barsOf(const Dataset& dataset, const QString& keyField, const QString& labelField)
{
    const Field* key = dataset.fieldByName(keyField);
    const Field* label = dataset.fieldByName(labelField);
    const Field* pages = dataset.fieldByName(QStringLiteral("Paginas"));
    QList<ChartBar> bars;
    bars.reserve(dataset.recordCount());
    for (int row = 0; row < dataset.recordCount(); ++row) {
        ChartBar bar;
        bar.label = label->fromStored(dataset.storedValue(row, label->index())).toString();
        if (bar.label.isEmpty()) {
            // Not in the registry: the login name (or sector) the jobs carry stands for it.
            bar.label = key->fromStored(dataset.storedValue(row, key->index())).toString();
        }
        bar.value = pages->fromStored(dataset.storedValue(row, pages->index())).toDouble();
        bar.valueText = Formats::formatNumber(bar.value);
        bars.append(bar);
    }
    return bars;
}

void ChartsPage::reload(Chart which)
{
    ChartPanel& chart = panel(which);
    WaitCursor wait;
    chart.loadedStart = QDate();
    chart.loadedEnd = QDate();
    chart.view->chart().setBars({});
    chart.view->chartChanged();

    const QDate start = chart.start->date();
    const QDate end = chart.end->date();
    chart.dataset->close();
    chart.dataset->setParam(chart.startParam, start);
    chart.dataset->setParam(chart.endParam, end);
    chart.dataset->open();

    chart.view->chart().setBars(barsOf(*chart.dataset, chart.keyField, chart.labelField));
    chart.loadedStart = start;
    chart.loadedEnd = end;
    chart.view->chart().setTitleLines(
        { Language::message(PrincipalSection, chart.titleKey + QStringLiteral(".Title1")),
          Language::format(Language::message(PrincipalSection, chart.titleKey + QStringLiteral(".Title2")),
                           { Formats::formatDate(start), Formats::formatDate(end) }) });
    chart.view->chartChanged();
}

QString ChartsPage::save(Chart which)
{
    ChartPanel& chart = panel(which);
    // The period of the bars shown; only a chart never loaded falls back on its pickers.
    const QDate start = chart.loadedStart.isValid() ? chart.loadedStart : chart.start->date();
    const QDate end = chart.loadedStart.isValid() ? chart.loadedEnd : chart.end->date();
    chart.view->chart().setTitleLines({ chart.designTitle, QStringLiteral("Período: ") + Formats::formatDate(start) +
                                                               QStringLiteral(" à ") + Formats::formatDate(end) });
    chart.view->chartChanged();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QString path = picturePath(which);
    if (!chart.view->picture().save(&buffer, "BMP")) {
        throw PlainError(QStringLiteral("%1: the picture could not be encoded").arg(QDir::toNativeSeparators(path)));
    }
    const AtomicWriteResult written = writeFileAtomically(path, bytes);
    if (!written.ok) {
        throw PlainError(QString::fromStdString(written.error));
    }
    QCoreApplication::processEvents();
    if (m_open) {
        m_open(path);
    }
    return path;
}

} // namespace tollbook
