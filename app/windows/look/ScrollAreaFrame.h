#pragma once

class QAbstractScrollArea;

namespace cto {

// Keeps a scroll area's frame whole at fractional scales (1.25, 1.5, ...).
// There a widget's edge can fall in the middle of a device pixel, and each
// widget's clip is rounded to whole pixels: the area's own clip can leave out
// the pixel its top line was drawn on, and a child's (the viewport's, a
// header's, a scroll bar's) can take in the pixel of the right line, which
// the child's background then covers. So the frame is drawn again after the
// area's parent has painted and after each child has: each changes only the
// pixels its clip shares with the frame, and at whole scales none.
void keepFrameWhole(QAbstractScrollArea* area);

} // namespace cto
