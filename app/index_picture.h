// The decorative picture of the index page, decoded with libjpeg.
#pragma once

#include <QImage>
#include <QString>

namespace tillvane {

// Decodes a JPEG file. A missing, truncated or broken file gives a null image.
QImage LoadJpegPicture(const QString& path);

}  // namespace tillvane
