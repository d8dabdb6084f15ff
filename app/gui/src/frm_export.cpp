#include "frm_export.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "frm_form.h"

namespace pressmark::gui {
namespace {
const QString kExportingCaption = QStringLiteral("Exporting...");
const QString kStopQuestion = QStringLiteral("Stop Exporting Now ? ");
}  // namespace

TfrmExport::TfrmExport(TfrmForm& owner)
    : QDialog(&owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), owner_(owner) {
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Exporting"));
    setFixedSize(293, 177);
    setModal(false);

    cLabel = new QLabel(kExportingCaption, this);
    cLabel->setObjectName(QStringLiteral("cLabel"));
    cLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    cLabel->setGeometry(8, 6, 277, 20);

    exportListBox = new QListWidget(this);
    exportListBox->setObjectName(QStringLiteral("exportListBox"));
    exportListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    exportListBox->setSortingEnabled(false);
    exportListBox->setGeometry(8, 30, 277, 64);

    deckProgressBar = new QProgressBar(this);
    deckProgressBar->setObjectName(QStringLiteral("deckProgressBar"));
    deckProgressBar->setGeometry(8, 98, 277, 18);
    pageProgressBar = new QProgressBar(this);
    pageProgressBar->setObjectName(QStringLiteral("pageProgressBar"));
    pageProgressBar->setGeometry(8, 120, 277, 18);

    Button1 = new QPushButton(QStringLiteral("&Abort"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(109, 144, 75, 26);
    connect(Button1, &QPushButton::clicked, this, &TfrmExport::Button1Click);
    BeginRun();
}

void TfrmExport::BeginRun() {
    exportListBox->clear();
    cLabel->setText(kExportingCaption);
    deckProgressBar->setRange(0, 1);
    deckProgressBar->setValue(0);
    deckProgressBar->setFormat(QStringLiteral("Deck %v of %m"));
    pageProgressBar->setRange(0, 1);
    pageProgressBar->setValue(0);
    pageProgressBar->setFormat(QStringLiteral("Page %v of %m"));
    Button1->setEnabled(true);
}

void TfrmExport::AddLine(const QString& text) {
    exportListBox->addItem(text);
    exportListBox->scrollToBottom();
}

void TfrmExport::ShowDeck(int deck, int decks) {
    deckProgressBar->setRange(0, decks);
    deckProgressBar->setValue(deck);
    deckProgressBar->setFormat(QStringLiteral("Deck %1 of %2").arg(deck + 1).arg(decks));
    pageProgressBar->setRange(0, 1);
    pageProgressBar->setValue(0);
    pageProgressBar->setFormat(QStringLiteral("Rendering slides..."));
}

void TfrmExport::ShowPage(int page, int pages) {
    pageProgressBar->setRange(0, pages);
    pageProgressBar->setValue(page);
    pageProgressBar->setFormat(QStringLiteral("Page %v of %m"));
}

void TfrmExport::ShowDeckDone(int decksDone, int decks) {
    deckProgressBar->setRange(0, decks);
    deckProgressBar->setValue(decksDone);
}

void TfrmExport::ShowStopping() {
    cLabel->setText(QStringLiteral("Stopping..."));
    Button1->setEnabled(false);
}

bool TfrmExport::confirmStop() {
    if (!owner_.Services().AskYesNo(this, kStopQuestion)) return false;
    // The answer may come after the run ended on its own.
    if (owner_.Exporting) owner_.StopExporting();
    return true;
}

void TfrmExport::Button1Click() {
    // The window stays open until the run has stopped, showing that it is
    // stopping; the run ends at its next page or deck boundary.
    if (owner_.Exporting) confirmStop();
}

void TfrmExport::reject() { close(); }

void TfrmExport::closeEvent(QCloseEvent* event) {
    // Closing during a run is a request to stop it; answering No keeps both
    // the run and its window.
    if (owner_.Exporting && !confirmStop()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace pressmark::gui
