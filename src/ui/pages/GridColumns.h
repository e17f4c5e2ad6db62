#pragma once

#include <QList>

namespace tollbook {

class Dataset;

// How a grid, lookup list or chart shows the fields of its dataset: caption, width in characters, display
// format, shown or not. The data layer keeps the fields' types and rules; this is the view's part. The
// captions are the Portuguese defaults, which the window files replace field by field.
struct GridColumn
{
    const char* field;
    const char* label;  // nullptr or "": the field's name
    int width;          // characters; 0 leaves the field's own
    const char* format; // nullptr: the type's own display
    bool visible;
};

// Applies the columns to the dataset's fields of those names (fields it lacks are skipped) and returns the
// dataset, so a page can present a dataset where it builds the model over it.
Dataset* presented(Dataset* dataset, const QList<GridColumn>& columns);

namespace GridColumns {

// The job rows of the three print views, in the order the dataset holds them.
const QList<GridColumn>& jobs();

} // namespace GridColumns
} // namespace tollbook
