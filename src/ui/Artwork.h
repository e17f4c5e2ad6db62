#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The application's pictures, drawn at run time: the product icon and the splash window's picture.
namespace tollbook::Artwork {

QIcon productIcon();
QPixmap splashPicture(const QSize& size);

} // namespace tollbook::Artwork
