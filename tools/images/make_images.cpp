// Draws the windows' images: the office's logo for the main window's band,
// the button glyphs, the dialogs' certificate icon, each at 1x and 2x
// (name@2x.png, which Qt picks on dense screens), and the program's icon at
// the sizes window lists ask for. Run it with the resources folder as argument
// and commit the PNGs; the build only compiles them in.
#include "CertificateIcon.h"
#include "Glyphs.h"
#include "WindowIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

bool save(const QImage& image, const QString& folder, const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

// name.png at 1x and name@2x.png at 2x.
bool saveBothScales(const std::function<QImage(int)>& draw, const QString& folder, const QString& name) {
    return save(draw(1), folder, name + QStringLiteral(".png")) &&
           save(draw(2), folder, name + QStringLiteral("@2x.png"));
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    using namespace cto::images;
    bool ok = saveBothScales(logo, folder, QStringLiteral("logo")) &&
              saveBothScales(tick, folder, QStringLiteral("tick")) &&
              saveBothScales(cross, folder, QStringLiteral("cross")) &&
              saveBothScales(certificateIcon, folder, QStringLiteral("certificate"));
    for (const int size : kWindowIconSizes)
        ok = ok && save(windowIcon(size), folder, QStringLiteral("window-icon-%1.png").arg(size));
    return ok ? 0 : 1;
}
