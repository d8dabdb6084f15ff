#pragma once
// TfrmForm: the main window. It holds the job list and the run options, keeps
// the options in the settings file between sessions, and starts a conversion
// run on a worker thread so that the window keeps answering during a run.
#include <QWidget>
#include <memory>

#include "form_services.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QTreeWidget;

namespace pressmark::gui {

class TaboutForm;
class TfrmExport;
class TExportThread;

// The settings file: beside the program when that folder is writable,
// otherwise $XDG_CONFIG_HOME/pressmark/slidepress.ini.
QString DefaultSettingsFileName();

class TfrmForm : public QWidget {
    Q_OBJECT
public:
    // Creates the slide-show control first (throws when it cannot be created,
    // before any window is shown), then the About box and the progress window.
    TfrmForm(TFormServices services, QString settingsFileName, QWidget* parent = nullptr);
    ~TfrmForm() override;

    const QString& SettingsFileName() const { return settingsFileName_; }
    TaboutForm* AboutForm() const { return aboutForm_; }
    TfrmExport* ExportForm() const { return frmExport_; }
    const TFormServices& Services() const { return services_; }

    // True from the start of a run until it ends or the user asks it to stop;
    // the progress window asks before closing only while this is true.
    bool Exporting = false;
    // True while the worker runs (also after a stop was asked for).
    bool RunInProgress() const;
    // Asks the running conversion to stop at its next page or deck boundary.
    void StopExporting();

public slots:
    void FormShow();
    void importButtonClick();
    void removeButtonClick();
    void browseBitBtnClick();
    void openBitBtnClick();
    void startButtonClick();
    void erer1Click();
    void Home1Click();
    void Abo1Click();

signals:
    // A run has ended (completed, failed or stopped) and its question was asked.
    void RunFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildHelpMenu();
    // FormClose: writes the settings; a failure is shown once and never keeps
    // the window open.
    void FormClose();
    void readSettings();
    void writeSettings();
    void followList();  // buttons and Panel follow whether the list has rows
    void onDeckFinished(int deck, bool completed, const QString& status);
    void onRunEnded();

    TFormServices services_;
    QString settingsFileName_;
    std::unique_ptr<TControlProbe> Slideport;  // proves the control is registered
    bool settingsRead_ = false;
    bool settingsErrorShown_ = false;
    bool closing_ = false;  // a run that ends after the window closed asks nothing
    QString lastBrowseFolder_;

    QPushButton* importButton = nullptr;
    QPushButton* removeButton = nullptr;
    QToolButton* helpSpeedButton = nullptr;
    QMenu* helpMenu = nullptr;
    QTreeWidget* ListView = nullptr;
    QFrame* Panel = nullptr;
    QComboBox* formateComboBox = nullptr;
    QComboBox* sizeComboBox = nullptr;
    QComboBox* compComboBox = nullptr;
    QLineEdit* outputEdit = nullptr;
    QPushButton* browseBitBtn = nullptr;
    QPushButton* openBitBtn = nullptr;
    QPushButton* startButton = nullptr;

    TaboutForm* aboutForm_ = nullptr;   // owned by Qt (child window)
    TfrmExport* frmExport_ = nullptr;   // owned by Qt (child window)
    std::unique_ptr<TExportThread> worker_;  // its destructor stops the run and waits
};

}  // namespace pressmark::gui
