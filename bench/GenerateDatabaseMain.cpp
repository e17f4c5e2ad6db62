// tollbook-gendb PATH [JOBS] [SEED]: creates a new database at PATH and fills it with a year (2025) of
// printing of a mid-sized office: 300 users in 12 sectors with their projects, 30 printers with their page
// prices, and JOBS jobs (one million by default) on working days in office hours. The same seed gives the
// same file. Used to measure the datasets against a database of realistic size.

#include "data/Database.h"
#include "platform/Errors.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <vector>

namespace {

using tollbook::DriverError;

const QString Connection = QStringLiteral("tollbook-gendb");
constexpr int Year = 2025;

// Uniform draws built on the engine's raw output alone, so that a seed gives the same database whatever
// the standard library's distributions do.
class Random
{
public:
    explicit Random(quint64 seed)
        : m_engine(seed)
    {
    }
    double uniform() { return double(m_engine() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
    int below(int count) { return std::min(count - 1, int(uniform() * count)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(double probability) { return uniform() < probability; }
    double normal()
    {
        const double u = 1.0 - uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * uniform());
    }
    template<typename T>
    const T& pick(const std::vector<T>& items)
    {
        return items.at(size_t(below(int(items.size()))));
    }

private:
    std::mt19937_64 m_engine;
};

// Picks an index with probability proportional to its weight.
class Weighted
{
public:
    explicit Weighted(const std::vector<double>& weights)
    {
        double sum = 0;
        for (double weight : weights) {
            sum += weight;
            m_cumulative.push_back(sum);
        }
    }
    int pick(Random& random) const
    {
        const double target = random.uniform() * m_cumulative.back();
        const auto it = std::upper_bound(m_cumulative.begin(), m_cumulative.end(), target);
        return std::min(int(it - m_cumulative.begin()), int(m_cumulative.size()) - 1);
    }

private:
    std::vector<double> m_cumulative;
};

struct Sector
{
    QString name;
    double headcount; // share of the users
    double colour;    // how much of its printing is in colour, before the per-user spread
    std::vector<int> printers;
    std::vector<int> projects;
};

struct Printer
{
    QString name;
    QString driver;
    bool colour;
    qint64 monoA4; // ten-thousandths
    qint64 colourA4;
};

struct User
{
    QString id;
    QString name;
    QString computer;
    QVariant project; // null: the user has no project, its jobs are charged to 0
    int sector;
    int homePrinter;
    double activity;
    double colour;
};

// Jobs of people no longer in the users registry.
struct Stranger
{
    QString id;
    QString computer;
};

void exec(QSqlQuery& query)
{
    if (!query.exec()) {
        throw DriverError(query.lastError().text());
    }
}

void exec(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        throw DriverError(statement + QStringLiteral(": ") + query.lastError().text());
    }
}

QSqlQuery prepared(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.prepare(statement)) {
        throw DriverError(statement + QStringLiteral(": ") + query.lastError().text());
    }
    return query;
}

QString asciiLower(const QString& text)
{
    static const QString from = QStringLiteral("áàâãéêíóôõúüçÁÀÂÃÉÊÍÓÔÕÚÜÇ");
    static const QString to = QStringLiteral("aaaaeeiooouucAAAAEEIOOOUUC");
    QString result = text.toLower();
    for (QChar& c : result) {
        const qsizetype at = from.indexOf(c);
        if (at >= 0) {
            c = to.at(at).toLower();
        }
    }
    return result;
}

std::vector<Sector> makeSectors()
{
    // ADM is the reserved sector a new database holds already.
    return {
        { QStringLiteral("ADM"), 0.5, 0.15, {}, {} },
        { QStringLiteral("Comercial"), 1.6, 0.40, {}, {} },
        { QStringLiteral("Compras"), 0.7, 0.10, {}, {} },
        { QStringLiteral("Contabilidade"), 0.9, 0.08, {}, {} },
        { QStringLiteral("Diretoria"), 0.3, 0.45, {}, {} },
        { QStringLiteral("Engenharia"), 2.2, 0.30, {}, {} },
        { QStringLiteral("Financeiro"), 1.0, 0.08, {}, {} },
        { QStringLiteral("Jurídico"), 0.6, 0.05, {}, {} },
        { QStringLiteral("Logística"), 0.9, 0.12, {}, {} },
        { QStringLiteral("Marketing"), 0.7, 0.70, {}, {} },
        { QStringLiteral("Recursos Humanos"), 0.6, 0.12, {}, {} },
        { QStringLiteral("TI"), 0.8, 0.15, {}, {} },
    };
}

std::vector<Printer> makePrinters(std::vector<Sector>& sectors, Random& random)
{
    struct Model
    {
        const char* name;
        const char* driver;
        bool colour;
    };
    static const std::vector<Model> models = {
        { "HP LaserJet M607", "HP Universal Printing PCL 6", false },
        { "HP Color LaserJet M555", "HP Universal Printing PCL 6", true },
        { "Brother HL-L6400DW", "Brother HL-L6400DW series", false },
        { "Kyocera ECOSYS M3655idn", "Kyocera ECOSYS M3655idn KX", false },
        { "Ricoh MP C3004", "RICOH MP C3004 PCL 6", true },
        { "Xerox AltaLink C8045", "Xerox AltaLink C8045 V4 PCL6", true },
        { "Canon iR-ADV C5535", "Canon Generic Plus UFR II", true },
        { "Lexmark MS823", "Lexmark Universal v2 XL", false },
    };
    std::vector<Printer> printers;
    std::vector<Model> colourModels;
    std::copy_if(models.begin(), models.end(), std::back_inserter(colourModels),
                 [](const Model& model) { return model.colour; });
    auto add = [&](const QString& place, int sector, bool colourOnly) {
        const Model& model = colourOnly ? random.pick(colourModels) : random.pick(models);
        Printer printer;
        printer.name = QStringLiteral("%1 %2").arg(QString::fromLatin1(model.name), place);
        printer.driver = QString::fromLatin1(model.driver);
        printer.colour = model.colour;
        printer.monoA4 = 100 * random.between(8, 20); // R$ 0.08 to 0.20 a page
        printer.colourA4 = printer.colour ? 100 * random.between(45, 120) : printer.monoA4;
        if (sector >= 0) {
            sectors[size_t(sector)].printers.push_back(int(printers.size()));
        }
        printers.push_back(printer);
    };
    // Two printers in each sector, a third in the largest ones, and the shared ones of the building.
    for (int s = 0; s < int(sectors.size()); ++s) {
        const int count = sectors[size_t(s)].headcount >= 1.0 ? 3 : 2;
        for (int n = 1; n <= count; ++n) {
            add(QStringLiteral("%1 %2").arg(sectors[size_t(s)].name).arg(n, 2, 10, QLatin1Char('0')), s, false);
        }
    }
    // The copy room prints in colour.
    add(QStringLiteral("Reprografia"), -1, true);
    add(QStringLiteral("Recepção"), -1, false);
    while (printers.size() < 30) {
        add(QStringLiteral("Andar %1").arg(printers.size()), -1, false);
    }
    return printers;
}

std::vector<User> makeUsers(const std::vector<Sector>& sectors, Random& random)
{
    static const std::vector<QString> first = {
        QStringLiteral("Ana"),      QStringLiteral("Bruno"),    QStringLiteral("Carla"),   QStringLiteral("Daniel"),
        QStringLiteral("Eduardo"),  QStringLiteral("Fernanda"), QStringLiteral("Gabriel"), QStringLiteral("Helena"),
        QStringLiteral("Igor"),     QStringLiteral("Júlia"),    QStringLiteral("Karina"),  QStringLiteral("Lucas"),
        QStringLiteral("Mariana"),  QStringLiteral("Nelson"),   QStringLiteral("Otávio"),  QStringLiteral("Patrícia"),
        QStringLiteral("Rafael"),   QStringLiteral("Sílvia"),   QStringLiteral("Thiago"),  QStringLiteral("Vanessa"),
        QStringLiteral("Wagner"),   QStringLiteral("Camila"),   QStringLiteral("Diego"),   QStringLiteral("Letícia"),
        QStringLiteral("Marcelo"),  QStringLiteral("Renata"),   QStringLiteral("Sérgio"),  QStringLiteral("Tatiana"),
        QStringLiteral("Vinícius"), QStringLiteral("Beatriz"),  QStringLiteral("João"),    QStringLiteral("Paulo"),
    };
    static const std::vector<QString> last = {
        QStringLiteral("Silva"),   QStringLiteral("Santos"),     QStringLiteral("Oliveira"),
        QStringLiteral("Souza"),   QStringLiteral("Rodrigues"),  QStringLiteral("Ferreira"),
        QStringLiteral("Alves"),   QStringLiteral("Pereira"),    QStringLiteral("Lima"),
        QStringLiteral("Gomes"),   QStringLiteral("Costa"),      QStringLiteral("Ribeiro"),
        QStringLiteral("Martins"), QStringLiteral("Carvalho"),   QStringLiteral("Almeida"),
        QStringLiteral("Lopes"),   QStringLiteral("Soares"),     QStringLiteral("Fernandes"),
        QStringLiteral("Vieira"),  QStringLiteral("Barbosa"),    QStringLiteral("Rocha"),
        QStringLiteral("Dias"),    QStringLiteral("Nascimento"), QStringLiteral("Araújo"),
    };
    std::vector<double> headcount;
    for (const Sector& sector : sectors) {
        headcount.push_back(sector.headcount);
    }
    const Weighted sectorOf(headcount);
    std::vector<int> pcNumbers(400);
    for (int i = 0; i < int(pcNumbers.size()); ++i) {
        pcNumbers[size_t(i)] = i + 1;
    }
    for (int i = int(pcNumbers.size()) - 1; i > 0; --i) {
        std::swap(pcNumbers[size_t(i)], pcNumbers[size_t(random.below(i + 1))]);
    }

    std::vector<User> users;
    QSet<QString> taken = { QStringLiteral("admin") };
    while (users.size() < 300) {
        const QString name = random.pick(first) + QLatin1Char(' ') + random.pick(last);
        const QString login = asciiLower(name).replace(QLatin1Char(' '), QLatin1Char('.'));
        QString id = login;
        for (int n = 2; taken.contains(id); ++n) {
            id = login + QString::number(n);
        }
        taken.insert(id);
        User user;
        user.id = id;
        user.name = name;
        user.computer = QStringLiteral("\\\\PC%1").arg(pcNumbers[users.size()], 3, 10, QLatin1Char('0'));
        user.sector = sectorOf.pick(random);
        const Sector& sector = sectors[size_t(user.sector)];
        if (!random.chance(0.05)) {
            user.project = sector.projects.empty() ? 1 : random.pick(sector.projects);
        }
        user.homePrinter = random.pick(sector.printers);
        // A few people print most of the pages.
        user.activity = std::exp(1.1 * random.normal());
        user.colour = std::min(0.95, sector.colour * std::exp(0.5 * random.normal()));
        users.push_back(user);
    }
    // Scale the colour habits so that about a quarter of all jobs are in colour.
    double jobs = 0;
    double colour = 0;
    for (const User& user : users) {
        jobs += user.activity;
        colour += user.activity * user.colour;
    }
    for (User& user : users) {
        user.colour = std::min(0.95, user.colour * 0.25 * jobs / colour);
    }
    return users;
}

int pageCount(Random& random)
{
    const double r = random.uniform();
    if (r < 0.42) {
        return 1;
    }
    if (r < 0.60) {
        return 2;
    }
    if (r < 0.70) {
        return 3;
    }
    if (r < 0.88) {
        return random.between(4, 10);
    }
    if (r < 0.975) {
        return random.between(11, 49);
    }
    // Manuals, contracts, theses: 50 to 400 pages, the shorter more often.
    return int(std::lround(50.0 * std::pow(8.0, random.uniform())));
}

QString documentName(Random& random, int month)
{
    static const std::vector<QString> subjects = {
        QStringLiteral("Relatório mensal"),
        QStringLiteral("Proposta comercial"),
        QStringLiteral("Contrato de prestação de serviços"),
        QStringLiteral("Ata de reunião"),
        QStringLiteral("Orçamento"),
        QStringLiteral("Memorial descritivo"),
        QStringLiteral("Planta baixa"),
        QStringLiteral("Folha de ponto"),
        QStringLiteral("Currículo"),
        QStringLiteral("Apresentação"),
        QStringLiteral("Pedido de compra"),
        QStringLiteral("Relatório de despesas"),
        QStringLiteral("Cronograma"),
        QStringLiteral("Manual do usuário"),
        QStringLiteral("Parecer técnico"),
        QStringLiteral("Fluxo de caixa"),
        QStringLiteral("Procuração"),
        QStringLiteral("Ordem de serviço"),
    };
    static const std::vector<QString> months = {
        QStringLiteral("janeiro"),  QStringLiteral("fevereiro"), QStringLiteral("março"),    QStringLiteral("abril"),
        QStringLiteral("maio"),     QStringLiteral("junho"),     QStringLiteral("julho"),    QStringLiteral("agosto"),
        QStringLiteral("setembro"), QStringLiteral("outubro"),   QStringLiteral("novembro"), QStringLiteral("dezembro"),
    };
    const QString& subject = random.pick(subjects);
    switch (random.below(9)) {
        case 0:
        case 1:
            return QStringLiteral("Microsoft Word - %1 %2.docx").arg(subject).arg(random.between(1, 300));
        case 2:
            return QStringLiteral("Microsoft Excel - %1 %2.xlsx").arg(subject, months.at(size_t(month - 1)));
        case 3:
            return QStringLiteral("%1 - %2 %3.pdf").arg(subject, months.at(size_t(month - 1))).arg(Year);
        case 4:
            return QStringLiteral("NF-e %1.pdf").arg(random.between(1000, 999999), 6, 10, QLatin1Char('0'));
        case 5:
            return QStringLiteral("RE: %1 - Mensagem (HTML)").arg(subject);
        case 6:
            return QStringLiteral("https://intranet.empresa.local/documentos/%1").arg(random.between(1, 20000));
        case 7:
            return QStringLiteral("Boleto_%1.pdf").arg(random.between(100000, 999999));
        default:
            return QStringLiteral("%1.pdf").arg(subject);
    }
}

// Days off that fall on a weekday: the national holidays, Carnival, and Christmas and New Year's eves.
bool isHoliday(const QDate& day)
{
    static const QList<QDate> holidays = {
        QDate(Year, 1, 1),   QDate(Year, 3, 3),   QDate(Year, 3, 4),   QDate(Year, 4, 18),
        QDate(Year, 4, 21),  QDate(Year, 5, 1),   QDate(Year, 6, 19),  QDate(Year, 11, 20),
        QDate(Year, 12, 24), QDate(Year, 12, 25), QDate(Year, 12, 31),
    };
    return holidays.contains(day);
}

// Seconds after midnight of one job, in office hours, busiest mid-morning and mid-afternoon.
int jobSecond(Random& random)
{
    // Half hours from 07:30 to 19:00.
    static const Weighted halfHours({ 0.2, 0.6, 1.0, 1.2, 1.3, 1.3, 1.3, 1.2, 1.1, 0.6, 0.4, 0.5,
                                      0.9, 1.1, 1.2, 1.2, 1.2, 1.1, 1.0, 0.8, 0.5, 0.2, 0.1 });
    return 7 * 3600 + 1800 + halfHours.pick(random) * 1800 + random.below(1800);
}

void fill(QSqlDatabase& db, qint64 jobCount, quint64 seed, QTextStream& out)
{
    Random random(seed);
    std::vector<Sector> sectors = makeSectors();

    QSqlQuery insertSector = prepared(db, QStringLiteral("INSERT INTO Setor (Setor_Id) VALUES (?)"));
    for (const Sector& sector : sectors) {
        if (sector.name != QLatin1String("ADM")) {
            insertSector.bindValue(0, sector.name);
            exec(insertSector);
        }
    }

    // Projects: the reserved project 1 and some forty more, each run by one sector.
    static const QStringList works = {
        QStringLiteral("Implantação ERP"),    QStringLiteral("Obra Ponte Norte"),   QStringLiteral("Auditoria anual"),
        QStringLiteral("Campanha verão"),     QStringLiteral("Expansão fábrica"),   QStringLiteral("Licitação"),
        QStringLiteral("Migração de dados"),  QStringLiteral("Revisão contratual"), QStringLiteral("Treinamento"),
        QStringLiteral("Consultoria fiscal"),
    };
    static const QStringList clients = {
        QStringLiteral("Prefeitura de Campinas"), QStringLiteral("Construtora Atlas"),
        QStringLiteral("Banco Horizonte"),        QStringLiteral("Metalúrgica Paraná"),
        QStringLiteral("Hospital São Lucas"),     QStringLiteral("Agropecuária Vale Verde"),
        QStringLiteral("Transportes Rápido Sul"), QStringLiteral("Interno"),
    };
    QSqlQuery insertProject = prepared(db, QStringLiteral("INSERT INTO Projeto (Projeto_Codigo, Projeto_Nome,"
                                                          " Projeto_Cliente, Projeto_Data) VALUES (?, ?, ?, ?)"));
    for (int p = 2; p <= 42; ++p) {
        insertProject.bindValue(0, QStringLiteral("%1").arg(p, 4, 10, QLatin1Char('0')));
        insertProject.bindValue(1, QStringLiteral("%1 %2").arg(works.at(random.below(int(works.size())))).arg(p));
        insertProject.bindValue(2, clients.at(random.below(int(clients.size()))));
        insertProject.bindValue(3, QDate(Year - 1, 1, 1).addDays(random.below(700)).toString(Qt::ISODate));
        exec(insertProject);
        sectors[size_t(1 + random.below(int(sectors.size()) - 1))].projects.push_back(p);
    }
    sectors[0].projects.push_back(1);

    const std::vector<Printer> printers = makePrinters(sectors, random);
    QSqlQuery insertPrinter = prepared(db, QStringLiteral("INSERT INTO Impressora (Print_Name) VALUES (?)"));
    QSqlQuery insertPrice = prepared(db, QStringLiteral("INSERT INTO CustoImpressao (Print_Name, dmPaperSize,"
                                                        " Custo_Mono, Custo_Color) VALUES (?, ?, ?, ?)"));
    for (const Printer& printer : printers) {
        insertPrinter.bindValue(0, printer.name);
        exec(insertPrinter);
        // A4, Letter at the A4 price, A3 at twice that.
        for (const auto& [paper, factor] : { std::pair{ 9, 1 }, std::pair{ 1, 1 }, std::pair{ 8, 2 } }) {
            insertPrice.bindValue(0, printer.name);
            insertPrice.bindValue(1, paper);
            insertPrice.bindValue(2, printer.monoA4 * factor);
            insertPrice.bindValue(3, printer.colourA4 * factor);
            exec(insertPrice);
        }
    }
    std::vector<int> colourPrinters;
    for (int p = 0; p < int(printers.size()); ++p) {
        if (printers[size_t(p)].colour) {
            colourPrinters.push_back(p);
        }
    }

    const std::vector<User> users = makeUsers(sectors, random);
    QSqlQuery insertUser = prepared(db, QStringLiteral("INSERT INTO Usuario (Usuario_id, Usuario_Nome, Setor_id,"
                                                       " Projeto_Id, Usuario_Ativo) VALUES (?, ?, ?, ?, ?)"));
    for (const User& user : users) {
        insertUser.bindValue(0, user.id);
        insertUser.bindValue(1, user.name);
        insertUser.bindValue(2, sectors[size_t(user.sector)].name);
        insertUser.bindValue(3, user.project);
        insertUser.bindValue(4, random.chance(0.03) ? QStringLiteral("N") : QStringLiteral("S"));
        exec(insertUser);
    }
    const std::vector<Stranger> strangers = {
        { QStringLiteral("estagiario01"), QStringLiteral("\\\\PC381") },
        { QStringLiteral("convidado"), QStringLiteral("\\\\RECEPCAO") },
        { QStringLiteral("scanner"), QStringLiteral("\\\\SRVAPP01") },
        { QStringLiteral("roberto.antigo"), QStringLiteral("\\\\PC390") },
    };

    std::vector<double> activity;
    for (const User& user : users) {
        activity.push_back(user.activity);
    }
    const Weighted userOf(activity);

    // Jobs per working day: Mondays busier, Fridays and the holiday months quieter.
    static const double monthLoad[] = { 0.75, 0.95, 1.0, 1.0, 1.05, 1.0, 0.85, 1.0, 1.05, 1.05, 1.0, 0.7 };
    static const double weekdayLoad[] = { 1.08, 1.05, 1.0, 1.0, 0.85 };
    std::vector<QDate> days;
    std::vector<double> load;
    for (QDate day(Year, 1, 1); day.year() == Year; day = day.addDays(1)) {
        if (day.dayOfWeek() <= 5 && !isHoliday(day)) {
            days.push_back(day);
            load.push_back(monthLoad[day.month() - 1] * weekdayLoad[day.dayOfWeek() - 1] *
                           std::exp(0.12 * random.normal()));
        }
    }
    double totalLoad = 0;
    for (double l : load) {
        totalLoad += l;
    }

    QSqlQuery insertJob = prepared(
        db, QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Drive, Print_Data, Print_Hora, Usuario_Id,"
                           " Print_Pages, Print_Document, Print_Entregue, Computer_Id, dmPaperSize, Print_Color,"
                           " Print_Duplex, Print_PaperLength, Print_PaperWidth, Projeto_Id)"
                           " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QVariant noText{ QMetaType(QMetaType::QString) };
    const QString yes = QStringLiteral("S");
    const QString no = QStringLiteral("N");
    qint64 written = 0;
    qint64 colourJobs = 0;
    qint64 duplexJobs = 0;
    qint64 pages = 0;
    double cumulative = 0;
    std::vector<int> seconds;
    for (size_t d = 0; d < days.size(); ++d) {
        cumulative += load[d];
        const qint64 until = d + 1 == days.size() ? jobCount : qint64(std::llround(jobCount * cumulative / totalLoad));
        seconds.clear();
        for (qint64 n = written; n < until; ++n) {
            seconds.push_back(jobSecond(random));
        }
        // Imported in the order they were printed, as the journal is.
        std::sort(seconds.begin(), seconds.end());
        const QDate day = days[d];
        const QString dayText = day.toString(Qt::ISODate);
        for (int second : seconds) {
            QString userId;
            QString computer;
            QVariant project;
            int printer = 0;
            double colourHabit = 0.25;
            if (random.chance(0.004)) {
                const Stranger& stranger = random.pick(strangers);
                userId = stranger.id;
                computer = stranger.computer;
                project = 1; // not registered: charged to the general project
                printer = random.below(int(printers.size()));
            } else {
                const User& user = users[size_t(userOf.pick(random))];
                const Sector& sector = sectors[size_t(user.sector)];
                userId = user.id;
                computer = random.chance(0.04) ? QStringLiteral("\\\\TS01") : user.computer;
                project = user.project.isNull() ? QVariant(0) : user.project;
                const double r = random.uniform();
                printer = r < 0.80   ? user.homePrinter
                          : r < 0.93 ? random.pick(sector.printers)
                                     : random.below(int(printers.size()));
                colourHabit = user.colour;
            }
            const bool colour = random.chance(colourHabit);
            if (colour && !printers[size_t(printer)].colour) {
                printer = random.pick(colourPrinters);
            }
            const int pageTotal = pageCount(random);
            const bool duplex = random.chance(pageTotal == 1 ? 0.08 : 0.45);
            const double paperDraw = random.uniform();
            const int paper = paperDraw < 0.93 ? 9 : paperDraw < 0.97 ? 8 : 1;
            // Tenths of a millimetre, as the printer driver reports them.
            const int length = paper == 9 ? 2970 : paper == 8 ? 4200 : 2794;
            const int width = paper == 9 ? 2100 : paper == 8 ? 2970 : 2159;

            insertJob.bindValue(0, printers[size_t(printer)].name);
            insertJob.bindValue(1, printers[size_t(printer)].driver);
            insertJob.bindValue(2, dayText);
            insertJob.bindValue(
                3, dayText + QString::asprintf(" %02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60));
            insertJob.bindValue(4, userId);
            insertJob.bindValue(5, pageTotal);
            insertJob.bindValue(6, documentName(random, day.month()));
            insertJob.bindValue(7, random.chance(0.12) ? QVariant(yes) : noText);
            insertJob.bindValue(8, computer);
            insertJob.bindValue(9, paper);
            insertJob.bindValue(10, colour ? yes : no);
            insertJob.bindValue(11, duplex ? yes : no);
            insertJob.bindValue(12, length);
            insertJob.bindValue(13, width);
            insertJob.bindValue(14, project);
            exec(insertJob);
            ++written;
            colourJobs += colour;
            duplexJobs += duplex;
            pages += pageTotal;
        }
    }
    const double percent = written > 0 ? 100.0 / double(written) : 0;
    out << "  " << users.size() << " users (+ Admin), " << sectors.size() << " sectors, 42 projects, "
        << printers.size() << " printers (" << colourPrinters.size() << " colour), " << days.size()
        << " working days\n";
    out << "  " << written << " jobs, " << pages << " pages, " << QString::number(colourJobs * percent, 'f', 1)
        << "% colour, " << QString::number(duplexJobs * percent, 'f', 1) << "% duplex\n";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    bool jobsOk = true;
    bool seedOk = true;
    const qint64 jobs = args.size() > 2 ? args.at(2).toLongLong(&jobsOk) : 1000000;
    const quint64 seed = args.size() > 3 ? args.at(3).toULongLong(&seedOk) : 2025;
    if (args.size() < 2 || args.size() > 4 || !jobsOk || !seedOk || jobs < 0) {
        err << "usage: tollbook-gendb PATH [JOBS=1000000] [SEED=2025]\n";
        return 2;
    }
    const QString path = args.at(1);
    QElapsedTimer timer;
    timer.start();
    try {
        tollbook::Database::create(path);
        {
            QSqlDatabase db = tollbook::Database::open(path, Connection);
            // Only this process has the file, and a failed run is simply made again: write without a
            // journal to keep, and back to the installation's journal mode at the end.
            exec(db, QStringLiteral("PRAGMA journal_mode = DELETE"));
            exec(db, QStringLiteral("PRAGMA synchronous = OFF"));
            exec(db, QStringLiteral("PRAGMA cache_size = -262144"));
            out << "filling " << path << " (seed " << seed << ")\n";
            out.flush();
            if (!db.transaction()) {
                throw DriverError(db.lastError().text());
            }
            fill(db, jobs, seed, out);
            if (!db.commit()) {
                throw DriverError(db.lastError().text());
            }
            exec(db, QStringLiteral("ANALYZE"));
            exec(db, QStringLiteral("PRAGMA journal_mode = WAL"));
        }
        tollbook::Database::close(Connection);
    } catch (const tollbook::Error& error) {
        err << "tollbook-gendb: " << error.message() << '\n';
        return 1;
    }
    out << "done in " << QString::number(double(timer.elapsed()) / 1000.0, 'f', 1) << " s, "
        << QString::number(double(QFileInfo(path).size()) / 1048576.0, 'f', 1) << " MiB\n";
    return 0;
}
