#include "reports/ReportLayout.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tollbook {

namespace {

class Reader
{
public:
    explicit Reader(QString origin)
        : m_origin(std::move(origin))
    {
    }

    [[noreturn]] void fail(const QString& what) const
    {
        throw ReportError(QStringLiteral("Invalid report layout %1: %2").arg(m_origin, what));
    }

    QString requiredString(const QJsonObject& object, const char* key, const QString& where) const
    {
        const QString value = object.value(QLatin1String(key)).toString();
        if (value.isEmpty()) {
            fail(QStringLiteral("%1 has no \"%2\"").arg(where, QLatin1String(key)));
        }
        return value;
    }

    BandKind band(const QString& name, const QString& where) const
    {
        static const QHash<QString, BandKind> bands = {
            { QStringLiteral("pageHeader"), BandKind::PageHeader },
            { QStringLiteral("columnHeader"), BandKind::ColumnHeader },
            { QStringLiteral("groupHeader"), BandKind::GroupHeader },
            { QStringLiteral("detail"), BandKind::Detail },
            { QStringLiteral("groupFooter"), BandKind::GroupFooter },
            { QStringLiteral("summary"), BandKind::Summary },
            { QStringLiteral("pageFooter"), BandKind::PageFooter },
        };
        const auto found = bands.constFind(name);
        if (found == bands.constEnd()) {
            fail(QStringLiteral("%1 has the unknown band \"%2\"").arg(where, name));
        }
        return *found;
    }

    ComponentType type(const QString& name, const QString& where) const
    {
        if (name == QLatin1String("Text")) {
            return ComponentType::Text;
        }
        if (name == QLatin1String("DataText")) {
            return ComponentType::DataText;
        }
        if (name == QLatin1String("CalcText")) {
            return ComponentType::CalcText;
        }
        if (name == QLatin1String("Line")) {
            return ComponentType::Line;
        }
        fail(QStringLiteral("%1 has the unknown type \"%2\"").arg(where, name));
    }

    Qt::Alignment alignment(const QString& name) const
    {
        if (name == QLatin1String("right")) {
            return Qt::AlignRight;
        }
        if (name == QLatin1String("center")) {
            return Qt::AlignHCenter;
        }
        return Qt::AlignLeft;
    }

    Condition condition(const QJsonObject& object, const QString& where) const
    {
        Condition condition;
        condition.field = requiredString(object, "field", where + QStringLiteral(" condition"));
        if (object.contains(QLatin1String("equals"))) {
            condition.test = Condition::Test::Equals;
            condition.value = object.value(QLatin1String("equals")).toString();
        } else if (object.contains(QLatin1String("notEquals"))) {
            condition.test = Condition::Test::NotEquals;
            condition.value = object.value(QLatin1String("notEquals")).toString();
        } else if (object.value(QLatin1String("empty")).isBool()) {
            condition.test =
                object.value(QLatin1String("empty")).toBool() ? Condition::Test::Empty : Condition::Test::NotEmpty;
        } else {
            fail(where + QStringLiteral(" has a condition without a test"));
        }
        return condition;
    }

    Component component(const QJsonObject& object, const ReportDefinition& report) const
    {
        Component component;
        const QString where = report.name + QLatin1Char('.') + object.value(QLatin1String("name")).toString();
        component.name = requiredString(object, "name", report.name + QStringLiteral(" component"));
        component.type = type(requiredString(object, "type", where), where);
        component.band = band(requiredString(object, "band", where), where);
        if (component.band == BandKind::GroupHeader || component.band == BandKind::GroupFooter) {
            component.group = requiredString(object, "group", where);
            const bool known = std::any_of(report.groups.cbegin(), report.groups.cend(),
                                           [&](const ReportGroup& group) { return group.name == component.group; });
            if (!known) {
                fail(QStringLiteral("%1 names the unknown group \"%2\"").arg(where, component.group));
            }
        }
        component.row = object.value(QLatin1String("row")).toInt(0);
        component.x = object.value(QLatin1String("x")).toDouble(0);
        component.width = object.value(QLatin1String("width")).toDouble(0);
        component.align = alignment(object.value(QLatin1String("align")).toString());
        component.font = object.value(QLatin1String("font")).toString(QStringLiteral("normal"));
        if (!report.fonts.contains(component.font)) {
            fail(QStringLiteral("%1 uses the unknown font \"%2\"").arg(where, component.font));
        }
        component.text = object.value(QLatin1String("text")).toString();
        component.field = object.value(QLatin1String("field")).toString();
        component.param = object.value(QLatin1String("param")).toString();
        component.format = object.value(QLatin1String("format")).toString();
        const QString calc = object.value(QLatin1String("calc")).toString();
        if (component.type == ComponentType::CalcText) {
            if (calc == QLatin1String("sum")) {
                component.calc = Calculation::Sum;
            } else if (calc == QLatin1String("count")) {
                component.calc = Calculation::Count;
            } else {
                fail(where + QStringLiteral(" calculates neither \"sum\" nor \"count\""));
            }
            if (component.calc == Calculation::Sum && component.field.isEmpty()) {
                fail(where + QStringLiteral(" sums no field"));
            }
        }
        if (component.type == ComponentType::DataText && component.field.isEmpty() && component.param.isEmpty()) {
            fail(where + QStringLiteral(" shows neither a field nor a parameter"));
        }
        if (object.value(QLatin1String("when")).isObject()) {
            component.when = condition(object.value(QLatin1String("when")).toObject(), where);
        }
        return component;
    }

    ReportDefinition report(const QJsonObject& object) const
    {
        ReportDefinition report;
        report.name = requiredString(object, "name", QStringLiteral("a report"));
        const QString orientation = object.value(QLatin1String("orientation")).toString();
        report.orientation = orientation == QLatin1String("landscape") ? QPageLayout::Landscape : QPageLayout::Portrait;
        const QJsonObject dataView = object.value(QLatin1String("dataView")).toObject();
        report.dataViewName = requiredString(dataView, "name", report.name + QStringLiteral(" data view"));
        report.connection = requiredString(dataView, "connection", report.name + QStringLiteral(" data view"));

        const QJsonObject fonts = object.value(QLatin1String("fonts")).toObject();
        for (auto font = fonts.constBegin(); font != fonts.constEnd(); ++font) {
            const QJsonObject style = font.value().toObject();
            report.fonts.insert(font.key(),
                                FontStyle{ style.value(QLatin1String("family")).toString(QStringLiteral("DejaVu Sans")),
                                           style.value(QLatin1String("size")).toDouble(9),
                                           style.value(QLatin1String("bold")).toBool(false),
                                           style.value(QLatin1String("italic")).toBool(false) });
        }
        if (!report.fonts.contains(QStringLiteral("normal"))) {
            report.fonts.insert(QStringLiteral("normal"), FontStyle{ QStringLiteral("DejaVu Sans"), 9, false, false });
        }

        for (const QJsonValue& value : object.value(QLatin1String("groups")).toArray()) {
            const QJsonObject group = value.toObject();
            ReportGroup definition;
            definition.name = requiredString(group, "name", report.name + QStringLiteral(" group"));
            for (const QJsonValue& key : group.value(QLatin1String("keys")).toArray()) {
                definition.keys << key.toString();
            }
            if (definition.keys.isEmpty()) {
                fail(QStringLiteral("%1.%2 has no keys").arg(report.name, definition.name));
            }
            report.groups << definition;
        }

        for (const QJsonValue& value : object.value(QLatin1String("pages")).toArray()) {
            const QJsonObject page = value.toObject();
            ReportPage definition;
            definition.name = requiredString(page, "name", report.name + QStringLiteral(" page"));
            for (const QJsonValue& component : page.value(QLatin1String("components")).toArray()) {
                definition.components << this->component(component.toObject(), report);
            }
            report.pages << definition;
        }
        if (report.pages.isEmpty()) {
            fail(report.name + QStringLiteral(" has no page"));
        }
        return report;
    }

private:
    QString m_origin;
};

} // namespace

bool Condition::holds(const QString& fieldText) const
{
    switch (test) {
        case Test::Equals:
            return fieldText == value;
        case Test::NotEquals:
            return fieldText != value;
        case Test::Empty:
            return fieldText.trimmed().isEmpty();
        case Test::NotEmpty:
            return !fieldText.trimmed().isEmpty();
    }
    return false;
}

ReportPage* ReportDefinition::page(const QString& pageName)
{
    for (ReportPage& candidate : pages) {
        if (candidate.name == pageName) {
            return &candidate;
        }
    }
    return nullptr;
}

const ReportPage* ReportDefinition::page(const QString& pageName) const
{
    return const_cast<ReportDefinition*>(this)->page(pageName);
}

ReportLayout ReportLayout::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ReportError(QStringLiteral("Cannot open the report layout %1: %2").arg(path, file.errorString()));
    }
    const QByteArray json = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw ReportError(QStringLiteral("Cannot read the report layout %1: %2").arg(path, file.errorString()));
    }
    return parse(json, path);
}

ReportLayout ReportLayout::parse(const QByteArray& json, const QString& origin)
{
    const Reader reader(origin);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        reader.fail(QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset));
    }
    if (!document.isObject() || !document.object().value(QLatin1String("reports")).isArray()) {
        reader.fail(QStringLiteral("no list of reports"));
    }
    ReportLayout layout;
    for (const QJsonValue& report : document.object().value(QLatin1String("reports")).toArray()) {
        layout.m_reports << reader.report(report.toObject());
    }
    return layout;
}

const ReportDefinition* ReportLayout::report(const QString& name) const
{
    for (const ReportDefinition& candidate : m_reports) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

} // namespace tollbook
