#include "ApplicationTitle.h"

namespace cto {

QString applicationTitle(const QString& executableFileName) {
    QString stem = executableFileName.section(QLatin1Char('.'), 0, 0);
    if (stem.isEmpty())
        return stem;
    // The first character may be a surrogate pair; keep it whole.
    const qsizetype firstLength = stem.at(0).isHighSurrogate() && stem.size() > 1 ? 2 : 1;
    return stem.left(firstLength) + stem.mid(firstLength).toLower();
}

} // namespace cto
