#pragma once

#include "platform/Errors.h"

#include <QHash>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <optional>

// The report layout file (report/Tollbook_report.rav): the eight management reports described as bands of
// positioned components, read from a declarative JSON text. No widgets.
//
// A report holds one page, "Page1", whose components each belong to a band: the page header and the column
// headers open every page, a group's header and footer frame the rows of each value of its keys, the detail
// band prints once per row, the summary once at the end, the page footer closes every page. A component is
// a text ("Text": fixed, localisable), a data-bound text ("DataText": a field of the row or a report
// parameter), a calculated text ("CalcText": a sum or count over its group or the whole report) or a line.
namespace tollbook {

// A failure of the report engine: a layout that cannot be read or is not what it must be, an unknown
// report, an output that cannot be written.
class ReportError : public Error
{
public:
    using Error::Error;
};

enum class BandKind { PageHeader, ColumnHeader, GroupHeader, Detail, GroupFooter, Summary, PageFooter };
enum class ComponentType { Text, DataText, CalcText, Line };
enum class Calculation { None, Sum, Count };

// Shown only when a field of the row satisfies it: equals a value, differs from it, or is empty.
struct Condition
{
    enum class Test { Equals, NotEquals, Empty, NotEmpty };
    QString field;
    Test test = Test::Equals;
    QString value;
    bool holds(const QString& fieldText) const;
};

struct Component
{
    QString name;
    ComponentType type = ComponentType::Text;
    BandKind band = BandKind::Detail;
    QString group; // for group headers and footers
    int row = 0;   // line of the band, from 0
    double x = 0;  // millimetres from the left margin
    double width = 0;
    Qt::Alignment align = Qt::AlignLeft;
    QString font = QStringLiteral("normal");
    // Text: what it shows; "{page}", "{pages}" and "{<parameter>}" are replaced when printed.
    QString text;
    QString field; // DataText, CalcText: the row's field; empty DataText with param: a parameter
    QString param;
    Calculation calc = Calculation::None;
    QString format; // number mask ("#,##0"), else the field's own display
    std::optional<Condition> when;

    // The engine's single-line text kind, of which the data-bound and calculated texts are variants.
    bool isText() const { return type != ComponentType::Line; }
};

struct FontStyle
{
    QString family;
    double pointSize = 9;
    bool bold = false;
    bool italic = false;
};

struct ReportGroup
{
    QString name;
    QStringList keys; // fields whose values, all equal, make one group
};

struct ReportPage
{
    QString name; // "Page1"
    QList<Component> components;
};

struct ReportDefinition
{
    QString name;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QString dataViewName;
    QString connection; // the data connection the data view reads, "RVImpUsuario"
    QList<ReportGroup> groups;
    QList<ReportPage> pages;
    QHash<QString, FontStyle> fonts;

    ReportPage* page(const QString& pageName);
    const ReportPage* page(const QString& pageName) const;
};

class ReportLayout
{
public:
    // Reads the layout file; throws ReportError when it is missing, unreadable or not a layout.
    static ReportLayout load(const QString& path);
    static ReportLayout parse(const QByteArray& json, const QString& origin);

    const QList<ReportDefinition>& reports() const { return m_reports; }
    // The report of that name, compared exactly; nullptr when the layout has none.
    const ReportDefinition* report(const QString& name) const;

private:
    QList<ReportDefinition> m_reports;
};

} // namespace tollbook
