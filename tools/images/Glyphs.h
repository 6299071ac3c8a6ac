#pragma once

#include <QImage>

namespace cto::images {

// The office's logo for the main window's blue band, 77 x 32.
QImage logo(int scale);
// The buttons' glyphs, 22 x 22: a green tick (Aceptar, Cerrar) and a red cross (Cancelar).
QImage tick(int scale);
QImage cross(int scale);

} // namespace cto::images
