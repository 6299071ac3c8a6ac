#include "app/windows/look/ScrollAreaFrame.h"

#include "app/windows/look/PaintAfter.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace cto {
namespace {

// The option QFrame paints its frame with.
QStyleOptionFrame frameOption(const QFrame* frame) {
    QStyleOptionFrame option;
    option.initFrom(frame);
    option.rect = frame->frameRect();
    option.frameShape = frame->frameShape();
    switch (frame->frameShape()) {
    case QFrame::Box:
    case QFrame::HLine:
    case QFrame::VLine:
    case QFrame::StyledPanel:
    case QFrame::Panel:
        option.lineWidth = frame->lineWidth();
        option.midLineWidth = frame->midLineWidth();
        break;
    default:
        option.lineWidth = frame->frameWidth();
        break;
    }
    if (frame->frameShadow() == QFrame::Sunken)
        option.state |= QStyle::State_Sunken;
    else if (frame->frameShadow() == QFrame::Raised)
        option.state |= QStyle::State_Raised;
    return option;
}

} // namespace

void keepFrameWhole(QAbstractScrollArea* area) {
    const auto redrawFrame = [area](QWidget* painted) {
        QPainter painter(painted);
        painter.translate(painted->mapFromGlobal(area->mapToGlobal(QPoint(0, 0))));
        const QStyleOptionFrame option = frameOption(area);
        area->style()->drawControl(QStyle::CE_ShapedFrame, &option, &painter, area);
    };
    if (QWidget* parent = area->parentWidget())
        paintAfter(parent, redrawFrame);
    for (QWidget* child : area->findChildren<QWidget*>())
        paintAfter(child, redrawFrame);
}

} // namespace cto
