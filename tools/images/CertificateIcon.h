#pragma once

#include <QImage>

namespace cto::images {

// The dialogs' header icon, 32 x 32: a certificate (a sheet with a title line
// and text lines) with a red seal over its lower right corner.
QImage certificateIcon(int scale);

} // namespace cto::images
