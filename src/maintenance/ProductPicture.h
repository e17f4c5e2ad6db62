#pragma once

#include <QPixmap>
#include <QSize>

namespace tollbook {

// The product's picture for the About box: a printer issuing a priced page, drawn for the given size.
QPixmap productPicture(const QSize& size);

} // namespace tollbook
