#include "app/uFSeleccionCertificado.h"

#include "app/CertificateRowTexts.h"
#include "app/DefaultErrorBox.h"
#include "app/DialogLook.h"
#include "app/PlainMessageBox.h"
#include "app/ScrollAreaFrame.h"
#include "app/SendEngine.h"
#include "ui_FSeleccionCertificado.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace cto {

TFSeleccionCertificado* FSeleccionCertificado = nullptr;

namespace {
std::function<TFSeleccionCertificado*()>& dialogMaker() {
    static std::function<TFSeleccionCertificado*()> maker;
    return maker;
}
} // namespace

void setCertificateDialogMaker(std::function<TFSeleccionCertificado*()> maker) {
    dialogMaker() = std::move(maker);
}

TFSeleccionCertificado* certificateDialog() {
    if (FSeleccionCertificado == nullptr && dialogMaker())
        FSeleccionCertificado = dialogMaker()();
    return FSeleccionCertificado;
}

namespace {

enum Column { ColumnCaption = 0, ColumnNombre = 1, ColumnCaducidad = 2 };
// What a row keeps besides its texts, in its name column.
constexpr int RoleDer = Qt::UserRole;
constexpr int RoleLocation = Qt::UserRole + 1;

// Holds the list's repainting off for one batch of changes.
class BatchUpdate {
public:
    explicit BatchUpdate(QWidget* widget) : widget_(widget) { widget_->setUpdatesEnabled(false); }
    ~BatchUpdate() { widget_->setUpdatesEnabled(true); }
    BatchUpdate(const BatchUpdate&) = delete;
    BatchUpdate& operator=(const BatchUpdate&) = delete;

private:
    QWidget* widget_;
};

} // namespace

QChar dateSeparator(const QLocale& locale) {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    bool quoted = false;
    for (const QChar character : format) {
        if (character == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && !character.isLetter() && !character.isSpace())
            return character;
    }
    return QLatin1Char('/');
}

QString formatCaducidad(const QDateTime& validTo, const QLocale& locale) {
    const QDate date = validTo.toLocalTime().date();
    const QChar separator = dateSeparator(locale);
    return QStringLiteral("%1%2%3%2%4")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(separator)
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString certificateDetails(const CertificateRow& certificate, const QLocale& locale) {
    QStringList lines;
    auto add = [&lines](const QString& label, const QString& value) {
        if (!value.isEmpty())
            lines << label + QStringLiteral(": ") + value;
    };
    add(QObject::tr("Titular"), certificate.subject);
    add(QObject::tr("Organización"), certificate.organisation);
    add(QObject::tr("Emisor"), certificate.issuer);
    add(QObject::tr("Número de serie"), certificate.serialNumber);
    if (certificate.validFrom.isValid() || certificate.validTo.isValid())
        lines << QObject::tr("Válido desde el %1 hasta el %2")
                     .arg(formatCaducidad(certificate.validFrom, locale),
                          formatCaducidad(certificate.validTo, locale));
    add(QObject::tr("Ubicación"), certificate.location);
    return lines.join(QLatin1Char('\n'));
}

TFSeleccionCertificado::TFSeleccionCertificado(QWidget* owner)
    : QDialog(owner, kDialogWindowFlags), ui_(std::make_unique<Ui::TFSeleccionCertificado>()) {
    initDialogResources();
    ui_->setupUi(this);
    finishDialogLook(this, ui_->Label18, ui_->bbAceptar, ui_->bbCancelar);

    QTreeWidget* list = ui_->lvCertificados;
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(ColumnCaption, QHeaderView::Fixed);
    header->setSectionResizeMode(ColumnNombre, QHeaderView::Stretch);
    header->setSectionResizeMode(ColumnCaducidad, QHeaderView::Fixed);
    header->resizeSection(ColumnCaption, 10);
    header->resizeSection(ColumnCaducidad, 100);
    list->viewport()->installEventFilter(this);
    list->setItemDelegateForColumn(ColumnNombre, makeShownNameDelegate(list));
    keepFrameWhole(list);
    keepKeyboardOnNames();

    // Cancelar is the dialog's main default button: Enter anywhere but on
    // Aceptar presses it.
    ui_->bbCancelar->setDefault(true);

    connect(ui_->bbAceptar, &QPushButton::clicked, this, [this] {
        bbAceptarClick();
        done(mrOk);
    });
    connect(ui_->bbCancelar, &QPushButton::clicked, this, [this] { done(mrAbort); });
    connect(list, &QTreeWidget::itemSelectionChanged, this, &TFSeleccionCertificado::updateAceptar);
    updateAceptar();
}

TFSeleccionCertificado::~TFSeleccionCertificado() = default;

int TFSeleccionCertificado::ShowModal() {
    return exec();
}

void TFSeleccionCertificado::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FormShow();
        centreOver(this, parentWidget());
    }
    QDialog::setVisible(visible);
}

void TFSeleccionCertificado::FormShow() {
    const CertificateListing listing = sendEngine().listCertificates();
    QTreeWidget* list = ui_->lvCertificados;
    // A store that could not be opened leaves the rows of the last showing;
    // a failure while reading keeps the rows read before it.
    if (listing.opened) {
        const BatchUpdate filling(list);
        list->clear();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const std::vector<QString> shown = shownNames(listing.rows, now);
        for (const CertificateRow& certificate : listing.rows) {
            auto* row = new QTreeWidgetItem(list);
            row->setText(ColumnNombre, certificate.name);
            // Shown and read out with what tells it from its namesakes, and
            // whether it has expired; the name alone is what is handed back.
            const QString& shownName = shown[static_cast<std::size_t>(list->indexOfTopLevelItem(row))];
            row->setData(ColumnNombre, kShownNameRole, shownName);
            row->setData(ColumnNombre, Qt::AccessibleTextRole, shownName);
            row->setData(ColumnNombre, RoleDer, certificate.der);
            row->setData(ColumnNombre, RoleLocation, certificate.location);
            row->setText(ColumnCaducidad, formatCaducidad(certificate.validTo));
            row->setTextAlignment(ColumnCaducidad, Qt::AlignCenter);
            // For the mouse a tooltip; for a screen reader the row's description.
            QString details = certificateDetails(certificate);
            if (const QString expired = expiryNote(certificate, now); !expired.isEmpty())
                details.prepend(expired.left(1).toUpper() + expired.mid(1) + QLatin1Char('\n'));
            for (int column = 0; column < list->columnCount(); ++column) {
                row->setToolTip(column, details);
                row->setData(column, Qt::AccessibleDescriptionRole, details);
            }
        }
    }
    updateAceptar();
    if (listing.failure)
        showDefaultErrorBox(parentWidget(), QString::fromStdString(listing.failure.message));
    else if (!listing.notes.isEmpty())
        showPlainMessage(parentWidget(), listing.notes.join(QLatin1Char('\n')));
}

void TFSeleccionCertificado::updateAceptar() {
    ui_->bbAceptar->setEnabled(ui_->lvCertificados->selectedItems().size() == 1);
}

void TFSeleccionCertificado::bbAceptarClick() {
    const QList<QTreeWidgetItem*> selected = ui_->lvCertificados->selectedItems();
    if (selected.size() != 1)
        return;
    usNombreCertificadoSeleccionado = selected.front()->text(ColumnNombre);
    usCertificadoSeleccionado = selected.front()->data(ColumnNombre, RoleDer).toByteArray();
    usUbicacionCertificadoSeleccionado = selected.front()->data(ColumnNombre, RoleLocation).toString();
}

void TFSeleccionCertificado::lvCertificadosDblClick() {
    bbAceptarClick();
}

void TFSeleccionCertificado::reject() {
    done(mrCancel);
}

void TFSeleccionCertificado::keyPressEvent(QKeyEvent* event) {
    // Neither button is a cancel button, so Escape closes nothing.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFSeleccionCertificado::keepKeyboardOnNames() {
    QTreeWidget* list = ui_->lvCertificados;
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [list](const QModelIndex& current) {
                if (current.isValid() && current.column() != ColumnNombre)
                    list->selectionModel()->setCurrentIndex(current.siblingAtColumn(ColumnNombre),
                                                            QItemSelectionModel::NoUpdate);
            });
}

void TFSeleccionCertificado::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous())
        return;
    // A closed dialog keeps its platform window, and with it its place among
    // the application's windows, where a screen reader can still walk into
    // it. Giving the window up takes the dialog out; the next showing makes a
    // new one. Later, not now: the hide may come from inside that window's
    // own event handling.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!isVisible())
                destroy();
        },
        Qt::QueuedConnection);
}

bool TFSeleccionCertificado::eventFilter(QObject* watched, QEvent* event) {
    // Any double-click in the list counts, on a row or not, like the list's own event.
    if (watched == ui_->lvCertificados->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        lvCertificadosDblClick();
    return QDialog::eventFilter(watched, event);
}

} // namespace cto
