#include "app/windows/uFSeleccionCertificado.h"

#include "app/SendEngine.h"
#include "app/windows/CertificateRowTexts.h"
#include "app/windows/look/DialogLook.h"
#include "app/windows/look/ScrollAreaFrame.h"
#include "ui_FSeleccionCertificado.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

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

const QString kSearchingCards = QStringLiteral("Buscando tarjetas…");
const QString kNothingToList = QStringLiteral(
    "No se encontró ningún certificado personal. Importe la copia de su certificado (un archivo .p12 o "
    ".pfx) en su navegador o inserte su tarjeta, y vuelva a abrir el programa; con Cancelar la encuesta se "
    "envía sin certificado.");

// Hands the window's thread each card module's rows, for one search.
class CardRowsRelay : public CardListingSink {
public:
    CardRowsRelay(QObject* dialog, std::function<void(CertificateListing)> join)
        : dialog_(dialog), join_(std::move(join)) {}

    void cardsListed(CertificateListing part) noexcept override {
        // The dialog waits for this thread before it goes, so it is there to post to.
        QMetaObject::invokeMethod(
            dialog_, [join = join_, part = std::move(part)] { join(part); }, Qt::QueuedConnection);
    }

private:
    QObject* dialog_;
    std::function<void(CertificateListing)> join_;
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
    list->headerItem()->setData(ColumnCaption, Qt::AccessibleTextRole, QStringLiteral("Posición"));
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

    // The lines under the list: each one a label of its own, which a screen
    // reader reads and the user can select and copy.
    designedHeight_ = height();
    notesArea_ = new QWidget(this);
    notesArea_->setObjectName(QStringLiteral("notas"));
    notesLayout_ = new QVBoxLayout(notesArea_);
    notesLayout_->setContentsMargins(0, 0, 0, 0);
    notesLayout_->setSpacing(3);
    notesArea_->setGeometry(list->x(), list->geometry().bottom() + 5, list->width(), 0);
    notesArea_->hide();
}

TFSeleccionCertificado::~TFSeleccionCertificado() {
    waitForCardSearch();
}

void TFSeleccionCertificado::waitForCardSearch() {
    // Within the probe's bound: a module that hangs is stopped there.
    if (cardSearch_.joinable())
        cardSearch_.join();
}

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
    // The databases and profiles at once; the cards join as their modules answer.
    const CertificateListing listing = sendEngine().listStoredCertificates();
    QTreeWidget* list = ui_->lvCertificados;
    storeNotes_ = listing.notes;
    if (listing.failure)
        storeNotes_ << QString::fromStdString(listing.failure.message);
    // A store that could not be opened leaves the rows of the last showing;
    // a failure while reading keeps the rows read before it.
    if (listing.opened) {
        const BatchUpdate filling(list);
        list->clear();
        listedRows_.clear();
        addRows(listing.rows);
    }
    if (listing.cardsToSearch) {
        startCardSearch();
    } else if (!searching_) {
        cardRows_.clear();
        cardNotes_.clear();
    }
    // Rows of cards found at this showing, while the search goes on.
    addRows(cardRows_);
    updateAceptar();
    showNotes();
}

void TFSeleccionCertificado::addRows(const std::vector<CertificateRow>& rows) {
    QTreeWidget* list = ui_->lvCertificados;
    QSet<QByteArray> listed;
    for (int index = 0; index < list->topLevelItemCount(); ++index)
        listed.insert(list->topLevelItem(index)->data(ColumnNombre, RoleDer).toByteArray());
    for (const CertificateRow& certificate : rows) {
        // A certificate that a database lists with its key is listed from there.
        if (listed.contains(certificate.der))
            continue;
        listed.insert(certificate.der);
        auto* row = new QTreeWidgetItem(list);
        listedRows_.push_back(certificate);
        row->setText(ColumnNombre, certificate.name);
        row->setData(ColumnNombre, RoleDer, certificate.der);
        row->setData(ColumnNombre, RoleLocation, certificate.location);
        row->setText(ColumnCaducidad, formatCaducidad(certificate.validTo));
        row->setTextAlignment(ColumnCaducidad, Qt::AlignCenter);
    }
    showRowTexts();
}

// What each row shows and tells a screen reader: its name with what tells it
// from its namesakes (a card's rows may bring one later) and whether it has
// expired. The name alone stays the row's text, which is what is handed back.
void TFSeleccionCertificado::showRowTexts() {
    QTreeWidget* list = ui_->lvCertificados;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::vector<QString> shown = shownNames(listedRows_, now);
    for (int index = 0; index < list->topLevelItemCount(); ++index) {
        QTreeWidgetItem* row = list->topLevelItem(index);
        const CertificateRow& certificate = listedRows_[static_cast<std::size_t>(index)];
        const QString& shownName = shown[static_cast<std::size_t>(index)];
        row->setData(ColumnNombre, kShownNameRole, shownName);
        row->setData(ColumnNombre, Qt::AccessibleTextRole, shownName);
        // The narrow first column shows nothing; a screen reader reading the
        // row hears there where the row stands among the rest.
        row->setData(ColumnCaption, Qt::AccessibleTextRole,
                     QStringLiteral("Certificado %1 de %2").arg(index + 1).arg(list->topLevelItemCount()));
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

void TFSeleccionCertificado::startCardSearch() {
    if (searching_)
        return;
    waitForCardSearch(); // the last search is over; its thread only has to end
    cardRows_.clear();
    cardNotes_.clear();
    searching_ = true;
    const unsigned search = ++search_;
    auto relay = std::make_shared<CardRowsRelay>(
        this, [this, search](const CertificateListing& part) { joinCards(search, part); });
    cardSearch_ = std::thread([this, relay, search] {
        sendEngine().listCardCertificates(*relay);
        QMetaObject::invokeMethod(
            this, [this, search] { finishCardSearch(search); }, Qt::QueuedConnection);
    });
}

void TFSeleccionCertificado::joinCards(unsigned search, const CertificateListing& part) {
    if (search != search_)
        return;
    cardRows_.insert(cardRows_.end(), part.rows.begin(), part.rows.end());
    cardNotes_ << part.notes;
    if (part.failure)
        cardNotes_ << QString::fromStdString(part.failure.message);
    if (isVisible()) {
        addRows(part.rows);
        updateAceptar();
        showNotes();
    }
    Q_EMIT cardsJoined();
}

void TFSeleccionCertificado::finishCardSearch(unsigned search) {
    if (search != search_)
        return;
    searching_ = false;
    if (isVisible())
        showNotes();
    Q_EMIT cardSearchFinished();
}

QStringList TFSeleccionCertificado::notes() const {
    QStringList lines = storeNotes_ + cardNotes_;
    lines.removeDuplicates();
    if (searching_)
        lines << kSearchingCards;
    else if (ui_->lvCertificados->topLevelItemCount() == 0)
        lines << kNothingToList;
    return lines;
}

void TFSeleccionCertificado::showNotes() {
    const QStringList lines = notes();
    // The labels already there keep their place (and a selection in them).
    const QList<QLabel*> shown = notesArea_->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    for (qsizetype index = 0; index < std::max(shown.size(), lines.size()); ++index) {
        if (index >= lines.size()) {
            delete shown[index];
            continue;
        }
        QLabel* line = index < shown.size() ? shown[index] : nullptr;
        if (!line) {
            line = new QLabel(notesArea_);
            line->setWordWrap(true);
            line->setTextFormat(Qt::PlainText);
            line->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            line->setFocusPolicy(Qt::ClickFocus);
            notesLayout_->addWidget(line);
            // Shown now, not when the layout gets round to it: its height counts below.
            line->show();
        }
        if (line->text() != lines[index])
            line->setText(lines[index]);
    }
    // The list keeps its place; the lines go under it, the buttons under them.
    const int width = notesArea_->width();
    int linesHeight = 0;
    for (QLabel* line : notesArea_->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        line->ensurePolished();
        linesHeight += (linesHeight > 0 ? notesLayout_->spacing() : 0) + line->heightForWidth(width);
    }
    const int grown = lines.isEmpty() ? 0 : linesHeight + 6;
    notesArea_->resize(width, linesHeight);
    notesArea_->setVisible(!lines.isEmpty());
    notesLayout_->invalidate();
    notesLayout_->activate();
    const int buttonsTop = designedHeight_ - 38 + grown;
    ui_->bbAceptar->move(ui_->bbAceptar->x(), buttonsTop);
    ui_->bbCancelar->move(ui_->bbCancelar->x(), buttonsTop);
    setFixedSize(this->width(), designedHeight_ + grown);
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
