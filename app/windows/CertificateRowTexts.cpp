#include "app/windows/CertificateRowTexts.h"

#include "app/SendEngine.h"
#include "common/SpanishUnits.h"

#include <QHash>
#include <QSet>
#include <QStyledItemDelegate>

#include <functional>

namespace cto {

namespace {

// The CN of a distinguished name ("CN=CTO Test CA,O=CTO Test"), else all of it.
QString commonName(const QString& distinguishedName) {
    for (const QString& part : distinguishedName.split(QLatin1Char(','))) {
        if (part.trimmed().startsWith(QLatin1String("CN=")))
            return part.trimmed().mid(3);
    }
    return distinguishedName;
}

// The serial number's last three bytes, enough to tell two apart at a glance.
QString serialTail(const QString& serial) {
    constexpr qsizetype kTail = 8; // "3A:0F:11"
    return serial.size() > kTail ? QStringLiteral("serie …") + serial.right(kTail)
                                 : QStringLiteral("serie ") + serial;
}

using Distinction = std::function<QString(const CertificateRow&)>;

// The first distinction that gives every row of the group a different,
// non-empty text; the whole serial number when none does.
Distinction distinctionFor(const std::vector<const CertificateRow*>& group) {
    const std::vector<Distinction> candidates{
        [](const CertificateRow& row) { return row.organisation; },
        [](const CertificateRow& row) { return commonName(row.issuer); },
        [](const CertificateRow& row) { return serialTail(row.serialNumber); },
    };
    for (const Distinction& candidate : candidates) {
        QSet<QString> seen;
        bool distinct = true;
        for (const CertificateRow* row : group) {
            const QString text = candidate(*row);
            distinct = distinct && !text.isEmpty() && !seen.contains(text);
            seen.insert(text);
        }
        if (distinct)
            return candidate;
    }
    return [](const CertificateRow& row) { return QStringLiteral("serie ") + row.serialNumber; };
}

class ShownNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant shown = index.data(kShownNameRole);
        if (shown.isValid())
            option->text = shown.toString();
    }
};

} // namespace

QString expiryNote(const CertificateRow& certificate, const QDateTime& now) {
    if (!certificate.validTo.isValid() || certificate.validTo >= now)
        return {};
    const QDate date = certificate.validTo.toLocalTime().date();
    return QStringLiteral("caducado el ") +
           QString::fromStdString(spanishDate(date.year(), date.month(), date.day()));
}

std::vector<QString> shownNames(const std::vector<CertificateRow>& rows, const QDateTime& now) {
    QHash<QString, std::vector<const CertificateRow*>> byName;
    for (const CertificateRow& row : rows)
        byName[row.name].push_back(&row);
    QHash<QString, Distinction> distinctions;
    for (auto group = byName.cbegin(); group != byName.cend(); ++group) {
        if (group->size() > 1)
            distinctions.insert(group.key(), distinctionFor(*group));
    }
    std::vector<QString> shown;
    shown.reserve(rows.size());
    for (const CertificateRow& row : rows) {
        QString text = row.name;
        if (const auto distinction = distinctions.constFind(row.name); distinction != distinctions.cend())
            text += QStringLiteral(" · ") + (*distinction)(row);
        if (!expiryNote(row, now).isEmpty())
            text += QStringLiteral(" (caducado)");
        shown.push_back(text);
    }
    return shown;
}

QAbstractItemDelegate* makeShownNameDelegate(QObject* parent) {
    return new ShownNameDelegate(parent);
}

} // namespace cto
