#pragma once

#include <QImage>

namespace cto::images {

// The sizes the program's icon is drawn at, for window lists, title bars and
// task switchers.
inline constexpr int kWindowIconSizes[] = {16, 32, 48, 64, 128};

// The program's icon, size x size: a survey form (a title bar and three
// answer boxes, two of them ticked) with the certificate's red seal. Each
// size is fitted to its own pixel grid, so that edges stay sharp.
QImage windowIcon(int size);

} // namespace cto::images
