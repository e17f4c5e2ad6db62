#include "CostRules.h"

#include "Dataset.h"

namespace tollbook::CostRules {

namespace {
bool isColour(const Field* flag)
{
    // Exact and case-sensitive: "s", blanks and null are monochrome.
    const QVariant& value = flag->dataset()->storedValue(flag->index());
    return value.typeId() == QMetaType::QString &&
           *static_cast<const QString*>(value.constData()) == QLatin1String("S");
}
// The price of one page as the database computes it, in ten-thousandths: the same rule as isColour and
// asCurrencyUnits (an unknown price costs nothing), for filters and searches on the cost.
const char* const PagePriceSql =
    "coalesce(CASE WHEN Print_Color = 'S' COLLATE BINARY THEN Custo_Color ELSE Custo_Mono END, 0)";
} // namespace

void bindDetail(Dataset& dataset)
{
    const Field* flag = dataset.fieldByName(QStringLiteral("Print_Color"));
    const Field* pages = dataset.fieldByName(QStringLiteral("Print_Pages"));
    const Field* mono = dataset.fieldByName(QStringLiteral("Custo_Mono"));
    const Field* colour = dataset.fieldByName(QStringLiteral("Custo_Color"));
    Field* cost = dataset.fieldByName(QStringLiteral("calc_Custo"));
    cost->setSqlExpression(QStringLiteral("coalesce(Print_Pages, 0) * ") + QLatin1String(PagePriceSql));
    dataset.onCalcFields = [=](Dataset&) {
        const qint64 price = isColour(flag) ? colour->asCurrencyUnits() : mono->asCurrencyUnits();
        // In ten-thousandths: exact, unlike a product of binary fractions.
        cost->setCurrencyUnits(pages->asInteger() * price);
    };
}

void bindSummary(Dataset& dataset)
{
    const Field* flag = dataset.fieldByName(QStringLiteral("Print_Color"));
    const Field* mono = dataset.fieldByName(QStringLiteral("Custo_Mono"));
    const Field* colour = dataset.fieldByName(QStringLiteral("Custo_Color"));
    Field* cost = dataset.fieldByName(QStringLiteral("calc_Custo"));
    cost->setSqlExpression(QLatin1String(PagePriceSql));
    dataset.onCalcFields = [=](Dataset&) {
        cost->setCurrencyUnits(isColour(flag) ? colour->asCurrencyUnits() : mono->asCurrencyUnits());
    };
}

} // namespace tollbook::CostRules
