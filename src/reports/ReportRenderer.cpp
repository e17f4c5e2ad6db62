#include "reports/ReportRenderer.h"

#include "data/Dataset.h"
#include "data/Formats.h"
#include "data/TextCompare.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <vector>

namespace tollbook {

namespace {

constexpr double MillimetresPerPoint = 25.4 / 72.0;
// The painter works in tenths of a millimetre, so that fonts can be sized in whole units of it.
constexpr double Units = 10.0;

struct Sum
{
    qint64 units = 0; // currency, exact
    double value = 0;
};

} // namespace

struct ReportRenderer::Impl
{
    struct Placed
    {
        const Component* component;
        int field = -1;     // index in the dataset, -1 for none
        int whenField = -1; // the condition's field
        int sumSlot = -1;   // CalcText sum: its slot in each scope's sums
        double top = 0;     // millimetres from the band's top
        double height = 0;
    };

    struct Band
    {
        std::vector<Placed> parts;
        double height = 0;
    };

    struct Group
    {
        std::vector<int> keyFields;
        Band header;
        Band footer;
    };

    const ReportDefinition& report;
    const Dataset& rows;
    QHash<QString, QString> parameters;
    QHash<QString, QFont> fonts;
    Band pageHeader, columnHeader, detail, summary, pageFooter;
    std::vector<Group> groups;
    std::vector<int> sumFields; // the dataset's field of each slot
    double pageWidth = 0;       // millimetres of the printable area
    double pageHeight = 0;

    // State of one walk over the rows.
    QPainter* painter = nullptr;
    QPagedPaintDevice* device = nullptr;
    int page = 0;
    int pages = 0;
    double y = 0;
    double contentTop = 0;
    int openGroups = 0;
    std::vector<int> groupFirstRow;
    std::vector<std::vector<Sum>> sums; // per group, then the report's total last
    std::vector<qint64> counts;
    std::function<void(int)> pageDone;

    Impl(const ReportDefinition& definition, const Dataset& data, QHash<QString, QString> params)
        : report(definition)
        , rows(data)
        , parameters(std::move(params))
    {
        for (auto style = report.fonts.constBegin(); style != report.fonts.constEnd(); ++style) {
            QFont font(style->family);
            font.setPixelSize(qMax(1, qRound(style->pointSize * MillimetresPerPoint * Units)));
            font.setBold(style->bold);
            font.setItalic(style->italic);
            font.setKerning(true);
            fonts.insert(style.key(), font);
        }
        groups.resize(report.groups.size());
        for (int g = 0; g < report.groups.size(); ++g) {
            for (const QString& key : report.groups.at(g).keys) {
                groups[g].keyFields.push_back(fieldIndex(key, report.groups.at(g).name));
            }
        }
        const ReportPage* page = report.page(QStringLiteral("Page1"));
        if (!page) {
            throw ReportError(QStringLiteral("Report %1 has no page Page1").arg(report.name));
        }
        for (const Component& component : page->components) {
            place(component);
        }
        for (Band* band : { &pageHeader, &columnHeader, &detail, &summary, &pageFooter }) {
            arrange(*band);
        }
        for (Group& group : groups) {
            arrange(group.header);
            arrange(group.footer);
        }
    }

    int fieldIndex(const QString& name, const QString& user) const
    {
        const Field* field = rows.findField(name);
        if (!field) {
            throw ReportError(QStringLiteral("Report %1: %2 reads the field %3, which the data view %4 does not have")
                                  .arg(report.name, user, name, report.dataViewName));
        }
        return field->index();
    }

    int groupIndex(const QString& name) const
    {
        for (int g = 0; g < report.groups.size(); ++g) {
            if (report.groups.at(g).name == name) {
                return g;
            }
        }
        return -1; // the layout reader refuses unknown groups
    }

    void place(const Component& component)
    {
        Placed placed{ &component };
        if (component.type == ComponentType::DataText && !component.field.isEmpty()) {
            placed.field = fieldIndex(component.field, component.name);
        }
        if (component.type == ComponentType::CalcText && component.calc == Calculation::Sum) {
            placed.field = fieldIndex(component.field, component.name);
            const auto slot = std::find(sumFields.cbegin(), sumFields.cend(), placed.field);
            placed.sumSlot = int(slot - sumFields.cbegin());
            if (slot == sumFields.cend()) {
                sumFields.push_back(placed.field);
            }
        }
        if (component.when) {
            placed.whenField = fieldIndex(component.when->field, component.name);
        }
        switch (component.band) {
            case BandKind::PageHeader:
                pageHeader.parts.push_back(placed);
                break;
            case BandKind::ColumnHeader:
                columnHeader.parts.push_back(placed);
                break;
            case BandKind::GroupHeader:
                groups[groupIndex(component.group)].header.parts.push_back(placed);
                break;
            case BandKind::Detail:
                detail.parts.push_back(placed);
                break;
            case BandKind::GroupFooter:
                groups[groupIndex(component.group)].footer.parts.push_back(placed);
                break;
            case BandKind::Summary:
                summary.parts.push_back(placed);
                break;
            case BandKind::PageFooter:
                pageFooter.parts.push_back(placed);
                break;
        }
    }

    // Lines of a band are as tall as their largest font; a line holding only rules is a thin gap.
    void arrange(Band& band)
    {
        int lastRow = -1;
        for (const Placed& part : band.parts) {
            lastRow = qMax(lastRow, part.component->row);
        }
        std::vector<double> heights(size_t(lastRow + 1), 0.0);
        for (const Placed& part : band.parts) {
            double& height = heights[size_t(part.component->row)];
            if (part.component->type == ComponentType::Line) {
                height = qMax(height, 1.5);
            } else {
                const FontStyle style = report.fonts.value(part.component->font);
                height = qMax(height, style.pointSize * MillimetresPerPoint * 1.55);
            }
        }
        std::vector<double> tops(heights.size(), 0.0);
        double top = 0;
        for (size_t row = 0; row < heights.size(); ++row) {
            tops[row] = top;
            top += heights[row];
        }
        for (Placed& part : band.parts) {
            part.top = tops[size_t(part.component->row)];
            part.height = heights[size_t(part.component->row)];
        }
        band.height = top;
    }

    // --- values

    QString fieldText(int row, int field) const
    {
        if (row < 0 || field < 0) {
            return QString();
        }
        return rows.fields().at(field)->displayTextOf(rows.storedValue(row, field));
    }

    QString numberText(int row, int field, const QString& format) const
    {
        const Field* definition = rows.fields().at(field);
        const QVariant& stored = rows.storedValue(row, field);
        if (format.isEmpty() || stored.isNull()) {
            return definition->displayTextOf(stored);
        }
        switch (definition->type()) {
            case FieldType::Currency:
                return Formats::formatNumber(double(stored.toLongLong()) / 10000.0, format);
            case FieldType::Integer:
            case FieldType::AutoInc:
            case FieldType::Float:
                return Formats::formatNumber(stored.toDouble(), format);
            default:
                return definition->displayTextOf(stored);
        }
    }

    QString expand(QString text) const
    {
        if (!text.contains(QLatin1Char('{'))) {
            return text;
        }
        text.replace(QLatin1String("{pages}"), QString::number(pages));
        text.replace(QLatin1String("{page}"), QString::number(page));
        for (auto parameter = parameters.constBegin(); parameter != parameters.constEnd(); ++parameter) {
            text.replace(QLatin1Char('{') + parameter.key() + QLatin1Char('}'), parameter.value());
        }
        return text;
    }

    QString calcText(const Placed& part, int scope) const
    {
        const Component& component = *part.component;
        if (component.calc == Calculation::Count) {
            return Formats::formatNumber(double(counts[size_t(scope)]),
                                         component.format.isEmpty() ? QStringLiteral("#,##0") : component.format);
        }
        const Sum& sum = sums[size_t(scope)][size_t(part.sumSlot)];
        const Field* field = rows.fields().at(part.field);
        if (field->type() == FieldType::Currency) {
            return Formats::formatNumber(double(sum.units) / 10000.0,
                                         component.format.isEmpty() ? Formats::MoneyFormat : component.format);
        }
        return Formats::formatNumber(sum.value,
                                     component.format.isEmpty() ? QStringLiteral("#,##0") : component.format);
    }

    QString textOf(const Placed& part, int row, int scope) const
    {
        const Component& component = *part.component;
        switch (component.type) {
            case ComponentType::Text:
                return expand(component.text);
            case ComponentType::DataText:
                if (!component.param.isEmpty()) {
                    return parameters.value(component.param);
                }
                return row < 0 ? QString() : numberText(row, part.field, component.format);
            case ComponentType::CalcText:
                return calcText(part, scope);
            case ComponentType::Line:
                break;
        }
        return QString();
    }

    // --- painting

    // A text laid out once in its font, fitted to its width: most texts of a report come back on every row
    // (days, printers, papers, "Preto e branco"), and laying text out is most of the cost of a page.
    struct Shaped
    {
        QList<QGlyphRun> runs;
        qreal width = 0;
        qreal height = 0;
    };
    QHash<QString, Shaped> shapedTexts;
    static constexpr int ShapedTextsKept = 4096; // document names and times rarely come back

    const Shaped& shape(const QString& fontName, const QString& text, qreal maxWidth)
    {
        const QString key = fontName + QChar(0x1f) + QString::number(qRound(maxWidth)) + QChar(0x1f) + text;
        const auto found = shapedTexts.constFind(key);
        if (found != shapedTexts.constEnd()) {
            return *found;
        }
        if (shapedTexts.size() >= ShapedTextsKept) {
            shapedTexts.clear();
        }
        const QFont font = fonts.value(fontName);
        const auto layOut = [&](const QString& line, Shaped& shaped) {
            QTextLayout layout(line, font, painter->device());
            layout.beginLayout();
            QTextLine textLine = layout.createLine();
            textLine.setLineWidth(1e9);
            layout.endLayout();
            shaped.runs = layout.glyphRuns();
            shaped.width = textLine.naturalTextWidth();
            shaped.height = textLine.height();
        };
        Shaped shaped;
        layOut(text, shaped);
        if (shaped.width > maxWidth) {
            layOut(QFontMetricsF(font, painter->device()).elidedText(text, Qt::ElideRight, maxWidth), shaped);
        }
        return *shapedTexts.insert(key, shaped);
    }

    void paintBand(const Band& band, int row, int scope)
    {
        if (painter) {
            for (const Placed& part : band.parts) {
                const Component& component = *part.component;
                if (component.when && !component.when->holds(fieldText(row, part.whenField))) {
                    continue;
                }
                const double width = component.width > 0 ? component.width : pageWidth - component.x;
                if (component.type == ComponentType::Line) {
                    const double lineY = (y + part.top + part.height / 2) * Units;
                    painter->setPen(QPen(Qt::black, 0.25 * Units));
                    painter->drawLine(QPointF(component.x * Units, lineY),
                                      QPointF((component.x + width) * Units, lineY));
                    continue;
                }
                const QString text = textOf(part, row, scope);
                if (text.isEmpty()) {
                    continue;
                }
                const QRectF box(component.x * Units, (y + part.top) * Units, width * Units, part.height * Units);
                const Shaped& shaped = shape(component.font, text, box.width());
                qreal left = box.left();
                if (component.align & Qt::AlignRight) {
                    left = box.right() - shaped.width;
                } else if (component.align & Qt::AlignHCenter) {
                    left = box.left() + (box.width() - shaped.width) / 2;
                }
                const QPointF origin(left, box.top() + (box.height() - shaped.height) / 2);
                painter->setPen(Qt::black);
                for (const QGlyphRun& run : shaped.runs) {
                    painter->drawGlyphRun(origin, run);
                }
            }
        }
        y += band.height;
    }

    void endPage()
    {
        y = pageHeight - pageFooter.height;
        paintBand(pageFooter, -1, int(groups.size()));
        if (pageDone) {
            pageDone(page);
        }
    }

    void startPage()
    {
        if (page > 0) {
            endPage();
            if (painter && !device->newPage()) {
                throw ReportError(QStringLiteral("Cannot start page %1 of report %2").arg(page + 1).arg(report.name));
            }
        }
        ++page;
        y = 0;
        paintBand(pageHeader, -1, int(groups.size()));
        paintBand(columnHeader, -1, int(groups.size()));
        contentTop = y;
        for (int g = 0; g < openGroups; ++g) {
            paintBand(groups[size_t(g)].header, groupFirstRow[size_t(g)], g);
        }
    }

    // Moves to a new page unless height fits below; a band taller than a page is painted where it is.
    void ensure(double height)
    {
        if (y + height > pageHeight - pageFooter.height && y > contentTop + 0.01) {
            startPage();
        }
    }

    bool sameKey(int row, int previous, int field) const
    {
        const QVariant& a = rows.storedValue(row, field);
        const QVariant& b = rows.storedValue(previous, field);
        if (rows.fields().at(field)->type() == FieldType::String) {
            return TextCompare::equal(a.toString(), b.toString());
        }
        return a == b;
    }

    // The outermost group whose keys differ from the row before; groups.size() when none does.
    int changedLevel(int row) const
    {
        if (row == 0) {
            return 0;
        }
        for (size_t g = 0; g < groups.size(); ++g) {
            for (int field : groups[g].keyFields) {
                if (!sameKey(row, row - 1, field)) {
                    return int(g);
                }
            }
        }
        return int(groups.size());
    }

    void closeGroups(int level, int lastRow)
    {
        for (int g = openGroups - 1; g >= level; --g) {
            const Band& footer = groups[size_t(g)].footer;
            ensure(footer.height);
            paintBand(footer, lastRow, g);
            openGroups = g;
        }
    }

    void accumulate(int row)
    {
        for (size_t slot = 0; slot < sumFields.size(); ++slot) {
            const int field = sumFields[slot];
            const QVariant& stored = rows.storedValue(row, field);
            if (stored.isNull()) {
                continue;
            }
            const bool currency = rows.fields().at(field)->type() == FieldType::Currency;
            const qint64 units = currency ? stored.toLongLong() : 0;
            const double value = currency ? 0.0 : stored.toDouble();
            for (std::vector<Sum>& scope : sums) {
                scope[slot].units += units;
                scope[slot].value += value;
            }
        }
        for (qint64& count : counts) {
            ++count;
        }
    }

    void resetScope(size_t scope)
    {
        sums[scope].assign(sumFields.size(), Sum{});
        counts[scope] = 0;
    }

    void walk()
    {
        page = 0;
        openGroups = 0;
        groupFirstRow.assign(groups.size(), -1);
        sums.assign(groups.size() + 1, std::vector<Sum>(sumFields.size()));
        counts.assign(groups.size() + 1, 0);
        startPage();
        const int rowCount = rows.recordCount();
        for (int row = 0; row < rowCount; ++row) {
            const int level = qMin(changedLevel(row), openGroups);
            closeGroups(level, row - 1);
            // The last row of a group goes to the next page together with the group's totals, so that a
            // total never stands alone under a repeated header; the report's last row takes the summary.
            const bool lastRow = row + 1 == rowCount;
            const int closing = lastRow ? 0 : changedLevel(row + 1);
            double rowNeeds = detail.height + (lastRow ? summary.height : 0.0);
            for (size_t g = size_t(closing); g < groups.size(); ++g) {
                rowNeeds += groups[g].footer.height;
            }
            // A group's header goes with its first row.
            double headersNeed = 0;
            for (size_t g = size_t(level); g < groups.size(); ++g) {
                headersNeed += groups[g].header.height;
            }
            ensure(headersNeed + rowNeeds);
            for (int g = level; g < int(groups.size()); ++g) {
                resetScope(size_t(g));
                groupFirstRow[size_t(g)] = row;
                paintBand(groups[size_t(g)].header, row, g);
                openGroups = g + 1;
            }
            accumulate(row);
            paintBand(detail, row, int(groups.size()));
        }
        closeGroups(0, rowCount - 1);
        ensure(summary.height);
        paintBand(summary, -1, int(groups.size()));
        endPage();
    }
};

ReportRenderer::ReportRenderer(const ReportDefinition& report, const Dataset& rows, QHash<QString, QString> parameters)
    : m_impl(std::make_unique<Impl>(report, rows, std::move(parameters)))
{
}

ReportRenderer::~ReportRenderer() = default;

QPageLayout reportPageLayout(const ReportDefinition& report)
{
    return QPageLayout(QPageSize(QPageSize::A4), report.orientation, QMarginsF(12, 10, 12, 10),
                       QPageLayout::Millimeter);
}

int ReportRenderer::render(QPagedPaintDevice& device)
{
    Impl& impl = *m_impl;
    const QPageLayout layout = reportPageLayout(impl.report);
    device.setPageLayout(layout);
    const QRectF paintRect = device.pageLayout().paintRect(QPageLayout::Millimeter);
    impl.pageWidth = paintRect.width();
    impl.pageHeight = paintRect.height();

    // Counting pass: the same walk without a painter.
    impl.painter = nullptr;
    impl.device = nullptr;
    impl.pageDone = nullptr;
    impl.pages = 0;
    impl.walk();
    const int pages = impl.page;

    QPainter painter;
    if (!painter.begin(&device)) {
        throw ReportError(QStringLiteral("Cannot paint report %1 on its output").arg(impl.report.name));
    }
    painter.scale(device.logicalDpiX() / (25.4 * Units), device.logicalDpiY() / (25.4 * Units));
    impl.painter = &painter;
    impl.device = &device;
    impl.pages = pages;
    impl.pageDone = m_pageDone;
    impl.walk();
    impl.painter = nullptr;
    if (!painter.end()) {
        throw ReportError(QStringLiteral("Cannot finish report %1 on its output").arg(impl.report.name));
    }
    m_pages = pages;
    return pages;
}

int writeReportPdf(const ReportDefinition& report, const Dataset& rows, const QHash<QString, QString>& parameters,
                   const QString& path, const QString& title, const std::function<void(int page)>& pageDone)
{
    {
        // The PDF writer tells only that it cannot paint; this tells why.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly)) {
            throw ReportError(QStringLiteral("Cannot write the report file %1: %2").arg(path, probe.errorString()));
        }
    }
    int pages = 0;
    {
        QPdfWriter writer(path);
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("Tollbook"));
        writer.setTitle(title);
        ReportRenderer renderer(report, rows, parameters);
        renderer.setPageDone(pageDone);
        pages = renderer.render(writer);
    }
    // QPdfWriter reports no write error of its own: a file that is not there or empty was not written.
    QFileInfo written(path);
    if (!written.exists() || written.size() == 0) {
        throw ReportError(QStringLiteral("Cannot write the report file %1").arg(path));
    }
    return pages;
}

} // namespace tollbook
