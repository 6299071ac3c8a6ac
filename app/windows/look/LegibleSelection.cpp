#include "app/windows/look/LegibleSelection.h"

#include "app/windows/look/Contrast.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace cto {
namespace {

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
}

} // namespace cto
