#pragma once
// TfrmExport: the progress window of a run. It lists the run's progress
// lines, shows one bar for the decks and one for the pages of the current
// deck, and offers "&Abort", which stops the run after asking.
#include <QDialog>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace pressmark::gui {

class TfrmForm;

class TfrmExport : public QDialog {
    Q_OBJECT
public:
    // owner: the main window, whose Exporting field and stop this window uses.
    explicit TfrmExport(TfrmForm& owner);

    // A new run: empties the list, resets both bars and enables "&Abort".
    void BeginRun();
    void AddLine(const QString& text);
    void ShowDeck(int deck, int decks);            // deck is 0-based
    void ShowPage(int page, int pages);            // page is 1-based
    void ShowDeckDone(int decksDone, int decks);
    // Stop asked for: the run ends at its next boundary, "&Abort" is spent.
    void ShowStopping();

public slots:
    void Button1Click();
    void reject() override;  // Escape closes through FormClose as well

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Asks "Stop Exporting Now ? " and on Yes stops the run; true on Yes.
    bool confirmStop();

    TfrmForm& owner_;
    QLabel* cLabel = nullptr;
    QListWidget* exportListBox = nullptr;
    QProgressBar* deckProgressBar = nullptr;
    QProgressBar* pageProgressBar = nullptr;
    QPushButton* Button1 = nullptr;
};

}  // namespace pressmark::gui
