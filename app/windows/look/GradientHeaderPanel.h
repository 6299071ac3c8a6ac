#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

namespace cto {

// One horizontal stripe of the header band: rows [top, bottom) in one colour.
struct GradientStripe {
    int top = 0;
    int bottom = 0;
    QColor color;

    friend bool operator==(const GradientStripe&, const GradientStripe&) = default;
};

// The band's stripes for a given height: at most 100 stripes blending from
// RGB(0, 62, 164) at the top towards RGB(17, 106, 255), bounds and colour
// components rounded half to even. Empty for a height of 0 or less.
std::vector<GradientStripe> gradientStripes(int height);

// The blue band across the top of both windows; its title label and logo are
// child widgets placed in the .ui file. Usable from Designer as a promoted
// widget: class cto::GradientHeaderPanel, header "app/GradientHeaderPanel.h".
class GradientHeaderPanel : public QWidget {
    Q_OBJECT
public:
    explicit GradientHeaderPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace cto
