#pragma once

class QWidget;

namespace cto {

// Keeps the window's selected text (a list's selected row, a field's or the
// log's selection) legible: wherever the desktop's selection colour is too
// light or too dark for the selected text drawn on it, the window takes the
// nearest shade of that colour that gives the text 4.5:1. The desktop's text
// colour stays; the shade is found again whenever the desktop's palette
// changes. The window's lists (those it holds now) draw their focused row's
// frame as a line that lays no tint over the selection.
void keepSelectionLegible(QWidget* window);

} // namespace cto
