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
} // namespace

void bindDetail(Dataset& dataset)
{
    const Field* flag = dataset.fieldByName(QStringLiteral("Print_Color"));
    const Field* pages = dataset.fieldByName(QStringLiteral("Print_Pages"));
    const Field* mono = dataset.fieldByName(QStringLiteral("Custo_Mono"));
    const Field* colour = dataset.fieldByName(QStringLiteral("Custo_Color"));
    Field* cost = dataset.fieldByName(QStringLiteral("calc_Custo"));
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
    dataset.onCalcFields = [=](Dataset&) {
        cost->setCurrencyUnits(isColour(flag) ? colour->asCurrencyUnits() : mono->asCurrencyUnits());
    };
}

} // namespace tollbook::CostRules
