#pragma once

#include "app/SendEngine.h"

#include <QDateTime>
#include <QDialog>
#include <QLocale>
#include <QString>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace cto {

namespace Ui {
class TFSeleccionCertificado;
}

// How a modal window was closed.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2, // the close box, Alt+F4, the system menu
    mrAbort = 3,
};

// The certificate dialog: lists the personal store's certificates (without
// certificate authorities) and hands back the one the user accepted. Aceptar
// is available only while exactly one row is selected.
class TFSeleccionCertificado : public QDialog {
    Q_OBJECT

public:
    explicit TFSeleccionCertificado(QWidget* owner = nullptr);
    ~TFSeleccionCertificado() override;

    // Fills the list, runs the modal loop and answers the modal result.
    int ShowModal();

    // The "Nombre" of the row accepted last, and that row's certificate (its
    // DER encoding), which is what goes with the request, and where the row
    // says it is kept; kept from one showing to the next.
    QString usNombreCertificadoSeleccionado;
    QByteArray usCertificadoSeleccionado;
    QString usUbicacionCertificadoSeleccionado;

    // Rebuilds the list from the store; runs whenever the dialog becomes visible.
    void FormShow();
    // Records the selected row's name when exactly one row is selected.
    void bbAceptarClick();
    void lvCertificadosDblClick();

    void setVisible(bool visible) override;

    // The lines under the list, top to bottom: the stores and card modules
    // that could not be read, "Buscando tarjetas…" while any card module is
    // still being tried, or what to do when there is nothing to list.
    QStringList notes() const;
    // Whether card modules are still being tried.
    bool searchingCards() const noexcept { return searching_; }

signals:
    // A card module's rows (or its note) joined the list.
    void cardsJoined();
    // The last card module is done: no card rows will join until the next showing.
    void cardSearchFinished();

private slots:
    void updateAceptar();

public slots:
    // Every way of closing other than the two buttons ends here.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The keyboard's place in the list is always a row's name, never the
    // empty first column: from the first row's name when the list takes the
    // focus on opening, on through arrows, clicks and typing. A screen reader
    // reads the name out, and typing the first letters of a name searches
    // the names (the list searches the column it is in).
    void keepKeyboardOnNames();

    // Adds the rows that are not listed yet, after those that are: a row
    // that joins late takes nothing from the user's selection.
    void addRows(const std::vector<CertificateRow>& rows);
    void showRowTexts();
    // Starts trying the card modules off the window's thread, unless a
    // search started at an earlier showing is still under way.
    void startCardSearch();
    void joinCards(unsigned search, const CertificateListing& part);
    void finishCardSearch(unsigned search);
    void waitForCardSearch();
    // Rebuilds the lines under the list, and fits the dialog around them.
    void showNotes();

    std::unique_ptr<Ui::TFSeleccionCertificado> ui_;
    QWidget* notesArea_ = nullptr;
    QVBoxLayout* notesLayout_ = nullptr;
    int designedHeight_ = 0;
    QStringList storeNotes_;
    // The card search of this showing, and what it has found so far.
    std::thread cardSearch_;
    unsigned search_ = 0;
    bool searching_ = false;
    std::vector<CertificateRow> cardRows_;
    // The rows listed, in the list's order.
    std::vector<CertificateRow> listedRows_;
    QStringList cardNotes_;
};

// "dd/mm/yyyy" with the locale's date separator in place of each "/", in local time.
QString formatCaducidad(const QDateTime& validTo, const QLocale& locale = QLocale());
// A row's tooltip: what tells it from another certificate of the same name.
QString certificateDetails(const CertificateRow& certificate, const QLocale& locale = QLocale());
// The date separator of the locale's short date format ("/" when it has none).
QChar dateSeparator(const QLocale& locale);

// The program's certificate dialog, hidden until asked for; lives until the
// process ends. Built when first needed, by the maker the program sets at
// start-up (building it costs the first paint some 3 ms it does not need).
extern TFSeleccionCertificado* FSeleccionCertificado;
void setCertificateDialogMaker(std::function<TFSeleccionCertificado*()> maker);
// FSeleccionCertificado, built now when it is not yet; nullptr without one
// and without a maker (a main window built on its own).
TFSeleccionCertificado* certificateDialog();

} // namespace cto
