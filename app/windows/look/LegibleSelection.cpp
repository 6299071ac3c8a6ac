#include "app/windows/look/LegibleSelection.h"

#include "app/windows/look/Contrast.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace cto {
namespace {

// The style's frame around a list's focused row (or cell) is translucent in
// Fusion: a tint of the selection colour laid over the row, text and all.
// On a selected row it shifts both the text and the selection it sits on,
// and takes back the contrast the selection's shade was chosen for. Here
// that frame is a plain line along the row's edge, in the colour of the text
// it surrounds, so that nothing is laid over the text; everything else is
// the window's style's own.
class PlainFocusFrame : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* frame = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
        // Set on lists only; a tree draws its row's frame without naming itself.
        if (element != PE_FrameFocusRect || !frame) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // As the style itself would (item views always pass this state).
        if (!(frame->state & State_KeyboardFocusChange))
            return;
        const QPalette::ColorGroup group =
            frame->state & State_Active ? QPalette::Active : QPalette::Inactive;
        // The view says what the frame is drawn on: the selection, or the list's ground.
        QColor line = frame->palette.color(group, QPalette::Text);
        const QColor selected = frame->palette.color(group, QPalette::HighlightedText);
        if (contrastRatio(selected, frame->backgroundColor) > contrastRatio(line, frame->backgroundColor))
            line = selected;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(QPen(line, 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(frame->rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// One for the whole program, over a fresh copy of the style that the program
// runs with; none when that style cannot be made again by its name (a
// program's own style), and the lists then keep the program's style as it is.
QStyle* plainFocusFrameStyle() {
    static QPointer<PlainFocusFrame> style;
    if (!style) {
        QStyle* base = QStyleFactory::create(QApplication::style()->name());
        if (!base)
            return nullptr;
        style = new PlainFocusFrame(base);
        style->setParent(qApp);
    }
    return style;
}

// Watches its window for a new palette, its own or the application's.
class SelectionShade : public QObject {
public:
    explicit SelectionShade(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
        apply();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ &&
            (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange))
            apply();
        return false;
    }

private:
    // From the desktop's colours, not the window's: the window keeps the
    // shade it was given last, which a new desktop palette must not inherit.
    // Setting a palette that is already there changes nothing, so the
    // PaletteChange this causes ends here.
    void apply() {
        const QPalette desktop = QApplication::palette(window_);
        QPalette palette = window_->palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            palette.setColor(group, QPalette::Highlight,
                             legibleOn(desktop.color(group, QPalette::Highlight),
                                       desktop.color(group, QPalette::HighlightedText)));
        if (!sameSelection(palette, window_->palette()))
            window_->setPalette(palette);
    }

    static bool sameSelection(const QPalette& a, const QPalette& b) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            if (a.color(group, QPalette::Highlight) != b.color(group, QPalette::Highlight))
                return false;
        return true;
    }

    QWidget* window_;
};

} // namespace

void keepSelectionLegible(QWidget* window) {
    new SelectionShade(window); // the window owns it
    // The style is made only for a window with lists: not for the main
    // window, which shows at start-up.
    const QList<QAbstractItemView*> views = window->findChildren<QAbstractItemView*>();
    if (views.isEmpty())
        return;
    if (QStyle* style = plainFocusFrameStyle())
        for (QAbstractItemView* view : views)
            view->setStyle(style);
}

} // namespace cto
