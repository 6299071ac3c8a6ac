#pragma once

class QAbstractScrollArea;

namespace cto {

// Keeps a scroll area's frame whole at fractional scales (1.25, 1.5, ...).
// There the edge of a child (the viewport, a header, a scroll bar) falls in
// the middle of a device pixel; the child's clip is rounded out to whole
// pixels and its background covers the pixel the frame's right or bottom
// line was drawn on, so that line disappears. Each child draws the frame
// again after itself: only the pixels its clip shares with the frame change,
// so at whole scales nothing does.
void keepFrameWhole(QAbstractScrollArea* area);

} // namespace cto
