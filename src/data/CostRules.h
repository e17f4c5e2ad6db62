#pragma once

namespace tollbook {

class Dataset;

// The cost of printing, never stored: every dataset that shows or reports jobs computes calc_Custo
// from the prices joined to each row, so a changed price re-prices past jobs too.
namespace CostRules {

// Datasets of single jobs: pages times the colour price when Print_Color is exactly "S", else times
// the monochrome price; a missing count or price counts 0.
void bindDetail(Dataset& dataset);

// Summary datasets whose SQL summed pages times prices per group: the colour sum for a group whose
// Print_Color is exactly "S", else the monochrome sum; a missing sum counts 0.
void bindSummary(Dataset& dataset);

} // namespace CostRules
} // namespace tollbook
