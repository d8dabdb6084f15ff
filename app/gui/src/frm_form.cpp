#include "frm_form.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include "about_form.h"
#include "artwork.h"
#include "export_thread.h"
#include "frm_export.h"
#include "ini_file.h"
#include "pressmark/imaging/errors.h"
#include "pressmark/writers/paper_sizes.h"
#include "product_info.h"

namespace pressmark::gui {
namespace {

const QString kSection = QStringLiteral("Set");
// Settings defaults: PDF, A4, RLE (the destination defaults to the home folder).
constexpr int kDefaultFormat = 0;
constexpr int kDefaultPaper = 4;
constexpr int kDefaultCompression = 0;
constexpr int kColumnNo = 0, kColumnName = 1, kColumnPath = 2, kColumnStatus = 3;

// Every presentation the office reads; the dialog shows them under one filter.
const QString kImportFilter = QStringLiteral("Powerpoint File (*.ppt *.pps *.pptx *.ppsx *.odp)");

// The job's name: the file name without its folder, cut before its first dot
// ("Q3.review.ppt" is "Q3"). A file whose name starts with a dot would get no
// name and its document would be a hidden ".pdf"; it keeps its name up to the
// last dot instead.
QString JobName(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName().section(u'.', 0, 0);
    return name.isEmpty() ? info.completeBaseName() : name;
}

QString homeFolder() { return QDir::homePath(); }

int indexOrDefault(int stored, int count, int def) { return stored >= 0 && stored < count ? stored : def; }

// A widget at a fixed place, as the window's layout is fixed.
template <typename W>
W* place(W* widget, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

}  // namespace

QString DefaultSettingsFileName() {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QFileInfo folder(program.absolutePath());
    const QString beside = program.absolutePath() + u'/' + program.completeBaseName() + QStringLiteral(".ini");
    const QFileInfo besideFile(beside);
    if (folder.isWritable() && (!besideFile.exists() || besideFile.isWritable())) return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pressmark/slidepress.ini");
}

TfrmForm::TfrmForm(TFormServices services, QString settingsFileName, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(std::move(services)),
      settingsFileName_(std::move(settingsFileName)) {
    // The control comes first: when it is not registered nothing else is built.
    if (services_.CreateControl) Slideport = services_.CreateControl();

    setObjectName(QStringLiteral("frmForm"));
    setWindowTitle(kProductName);
    setWindowIcon(ProgramIcon());
    setFixedSize(568, 398);
    buildControls();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    aboutForm_ = new TaboutForm(this, services_.OpenUrl);
    frmExport_ = new TfrmExport(*this);

    worker_ = std::make_unique<TExportThread>(services_.RunConversion);
    connect(worker_.get(), &TExportThread::LineAdded, frmExport_, &TfrmExport::AddLine);
    connect(worker_.get(), &TExportThread::DeckStarted, frmExport_, &TfrmExport::ShowDeck);
    connect(worker_.get(), &TExportThread::PageDone, frmExport_,
            [this](int, int page, int pages) { frmExport_->ShowPage(page, pages); });
    connect(worker_.get(), &TExportThread::DeckFinished, this, &TfrmForm::onDeckFinished);
    connect(worker_.get(), &TExportThread::RunFailed, this, [this](const QString& message) {
        frmExport_->AddLine(message);
        services_.Error(this, message);
    });
    connect(worker_.get(), &QThread::finished, this, &TfrmForm::onRunEnded);
}

TfrmForm::~TfrmForm() {
    // Stop and join the worker before the windows it reports to go away.
    worker_.reset();
}

void TfrmForm::buildControls() {
    importButton = place(new QPushButton(QStringLiteral(" Import"), this), "importButton", 8, 8, 92, 30);
    importButton->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    removeButton = place(new QPushButton(QStringLiteral("Remove..."), this), "removeButton", 106, 8, 92, 30);
    removeButton->setEnabled(false);
    helpSpeedButton = place(new QToolButton(this), "helpSpeedButton", 468, 8, 92, 30);
    helpSpeedButton->setText(QStringLiteral("  Help"));
    helpSpeedButton->setPopupMode(QToolButton::InstantPopup);
    buildHelpMenu();

    ListView = place(new QTreeWidget(this), "ListView", 8, 46, 552, 226);
    ListView->setColumnCount(4);
    ListView->setHeaderLabels({QStringLiteral("NO."), QStringLiteral("Name"), QStringLiteral("Path"),
                               QStringLiteral("Status")});
    const int widths[] = {40, 100, 333, 75};
    for (int c = 0; c < 4; ++c) {
        ListView->setColumnWidth(c, widths[c]);
        ListView->headerItem()->setTextAlignment(c, c == kColumnNo ? Qt::AlignLeft | Qt::AlignVCenter
                                                                   : Qt::AlignCenter);
    }
    ListView->setRootIsDecorated(false);
    ListView->setItemsExpandable(false);
    ListView->setUniformRowHeights(true);
    ListView->setAllColumnsShowFocus(true);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->header()->setSectionsMovable(false);
    ListView->header()->setStretchLastSection(false);
    // Grid lines between cells, as a report-style list shows them.
    ListView->setStyleSheet(QStringLiteral(
        "QTreeView::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"
        // An item style replaces the native selection look, so it is restated.
        "QTreeView::item:selected { background: palette(highlight); color: palette(highlighted-text); }"));

    Panel = place(new QFrame(this), "Panel", 8, 46, 552, 226);
    Panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* picture = new QLabel(Panel);
    picture->setObjectName(QStringLiteral("PanelImage"));
    picture->setGeometry(Panel->contentsRect());
    picture->setPixmap(PanelPicture(Panel->contentsRect().size()));
    Panel->raise();

    place(new QLabel(QStringLiteral("Formate:"), this), "formateLabel", 8, 286, 70, 20);
    formateComboBox = place(new QComboBox(this), "formateComboBox", 80, 283, 120, 26);
    formateComboBox->addItems({QStringLiteral("Adobe PDF"), QStringLiteral("PostScript")});
    place(new QLabel(QStringLiteral("Size"), this), "sizeLabel", 214, 286, 32, 20);
    sizeComboBox = place(new QComboBox(this), "sizeComboBox", 248, 283, 140, 26);
    for (const TPaperSize& paper : PaperSizes) sizeComboBox->addItem(QString::fromUtf8(paper.Name));
    place(new QLabel(QStringLiteral("Compression:"), this), "compLabel", 398, 286, 84, 20);
    compComboBox = place(new QComboBox(this), "compComboBox", 482, 283, 78, 26);
    for (const TCompressionChoice& comp : CompressionChoices) compComboBox->addItem(QString::fromUtf8(comp.Name));
    formateComboBox->setCurrentIndex(kDefaultFormat);
    sizeComboBox->setCurrentIndex(kDefaultPaper);
    compComboBox->setCurrentIndex(kDefaultCompression);

    place(new QLabel(QStringLiteral("Destination:"), this), "outputLabel", 8, 323, 72, 20);
    outputEdit = place(new QLineEdit(homeFolder(), this), "outputEdit", 80, 320, 308, 26);
    outputEdit->setReadOnly(true);
    outputEdit->setToolTip(QStringLiteral("Output Path"));
    browseBitBtn = place(new QPushButton(QStringLiteral("Browse"), this), "browseBitBtn", 398, 319, 78, 28);
    browseBitBtn->setToolTip(QStringLiteral("Select  Output Path"));
    openBitBtn = place(new QPushButton(QStringLiteral("Open"), this), "openBitBtn", 482, 319, 78, 28);
    openBitBtn->setToolTip(QStringLiteral("Open Path"));

    startButton = place(new QPushButton(QStringLiteral("Star"), this), "startButton", 440, 356, 120, 36);
    startButton->setDefault(true);
    startButton->setEnabled(false);
    startButton->setStyleSheet(QStringLiteral("QPushButton { color: #1b8a1b; font-weight: bold; font-size: 16pt; }"
                                              "QPushButton:disabled { color: #8fb88f; }"));

    connect(importButton, &QPushButton::clicked, this, &TfrmForm::importButtonClick);
    connect(removeButton, &QPushButton::clicked, this, &TfrmForm::removeButtonClick);
    connect(browseBitBtn, &QPushButton::clicked, this, &TfrmForm::browseBitBtnClick);
    connect(openBitBtn, &QPushButton::clicked, this, &TfrmForm::openBitBtnClick);
    connect(startButton, &QPushButton::clicked, this, &TfrmForm::startButtonClick);
}

void TfrmForm::buildHelpMenu() {
    helpMenu = new QMenu(helpSpeedButton);
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    const auto add = [this](const char* name, const QString& text, void (TfrmForm::*handler)()) {
        QAction* action = helpMenu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
    };
    add("erer1", QStringLiteral("Help"), &TfrmForm::erer1Click);
    add("Home1", QStringLiteral("Home Page"), &TfrmForm::Home1Click);
    add("Abo1", QStringLiteral("About..."), &TfrmForm::Abo1Click);
    helpSpeedButton->setMenu(helpMenu);
}

// ---- settings ----

void TfrmForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!settingsRead_) FormShow();
}

void TfrmForm::FormShow() {
    settingsRead_ = true;
    readSettings();
}

void TfrmForm::readSettings() {
    const TIniFile ini(settingsFileName_);
    formateComboBox->setCurrentIndex(indexOrDefault(ini.ReadInteger(kSection, QStringLiteral("formateComboBox"), kDefaultFormat),
                                                    formateComboBox->count(), kDefaultFormat));
    sizeComboBox->setCurrentIndex(indexOrDefault(ini.ReadInteger(kSection, QStringLiteral("sizeComboBox"), kDefaultPaper),
                                                 sizeComboBox->count(), kDefaultPaper));
    compComboBox->setCurrentIndex(
        indexOrDefault(ini.ReadInteger(kSection, QStringLiteral("compComboBox"), kDefaultCompression),
                       compComboBox->count(), kDefaultCompression));
    outputEdit->setText(ini.ReadString(kSection, QStringLiteral("outputEdit"), homeFolder()));
}

void TfrmForm::writeSettings() {
    TIniFile ini(settingsFileName_);
    ini.WriteInteger(kSection, QStringLiteral("formateComboBox"), formateComboBox->currentIndex());
    ini.WriteInteger(kSection, QStringLiteral("sizeComboBox"), sizeComboBox->currentIndex());
    ini.WriteInteger(kSection, QStringLiteral("compComboBox"), compComboBox->currentIndex());
    ini.WriteString(kSection, QStringLiteral("outputEdit"), outputEdit->text());
    ini.UpdateFile();
}

void TfrmForm::FormClose() {
    try {
        writeSettings();
    } catch (const WriteError&) {
        // Said once; the choices are lost for this session but the user can leave.
        if (!settingsErrorShown_) {
            settingsErrorShown_ = true;
            services_.Error(this, QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(settingsFileName_)));
        }
    }
}

void TfrmForm::closeEvent(QCloseEvent* event) {
    if (RunInProgress() && Exporting && !services_.AskYesNo(this, QStringLiteral("Stop Exporting Now ? "))) {
        event->ignore();
        return;
    }
    closing_ = true;
    if (RunInProgress()) StopExporting();
    FormClose();
    frmExport_->hide();
    aboutForm_->hide();
    event->accept();
}

// ---- job list ----

void TfrmForm::followList() {
    const bool hasRows = ListView->topLevelItemCount() > 0;
    const bool idle = !RunInProgress();
    removeButton->setEnabled(hasRows && idle);
    startButton->setEnabled(hasRows && idle);
    importButton->setEnabled(idle);
    Panel->setVisible(!hasRows);
}

void TfrmForm::importButtonClick() {
    if (!services_.PresentationAppInstalled()) {
        services_.Information(this, QStringLiteral("PowerPoint   may   not   be   installed"));
        return;
    }
    const QStringList files = services_.OpenFiles(this, QStringLiteral("Select PowerPoint Files"), kImportFilter);
    for (const QString& file : files) {
        auto* row = new QTreeWidgetItem(ListView);
        row->setText(kColumnNo, QString::number(ListView->topLevelItemCount()));
        row->setText(kColumnName, JobName(file));
        row->setText(kColumnPath, QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()));
        row->setText(kColumnStatus, QStringLiteral("-"));
        for (int c = kColumnName; c <= kColumnStatus; ++c) row->setTextAlignment(c, Qt::AlignCenter);
        row->setToolTip(kColumnPath, row->text(kColumnPath));
    }
    if (ListView->topLevelItemCount() > 0) ListView->setCurrentItem(ListView->topLevelItem(0));
    followList();
}

void TfrmForm::removeButtonClick() {
    QTreeWidgetItem* selected = ListView->currentItem();
    if (ListView->topLevelItemCount() == 0 || selected == nullptr || !selected->isSelected()) return;
    delete selected;
    if (ListView->topLevelItemCount() > 0) {
        ListView->setFocus();
        ListView->setCurrentItem(ListView->topLevelItem(0));
    }
    followList();
}

// ---- destination and help ----

void TfrmForm::browseBitBtnClick() {
    const QString start = !lastBrowseFolder_.isEmpty() && QFileInfo(lastBrowseFolder_).isDir() ? lastBrowseFolder_
                                                                                               : QString();
    const QString chosen = services_.ChooseFolder(this, QStringLiteral("Select Output Path"), start);
    if (chosen.isEmpty()) return;
    lastBrowseFolder_ = chosen;
    outputEdit->setText(QDir::toNativeSeparators(QDir::cleanPath(chosen)));
}

void TfrmForm::openBitBtnClick() { services_.OpenUrl(QUrl::fromLocalFile(outputEdit->text())); }

void TfrmForm::erer1Click() { services_.OpenUrl(QUrl(kProductHomePage)); }

void TfrmForm::Home1Click() { services_.OpenUrl(QUrl(kProductHomePage)); }

void TfrmForm::Abo1Click() { aboutForm_->exec(); }

// ---- the run ----

bool TfrmForm::RunInProgress() const { return worker_ && worker_->isRunning(); }

void TfrmForm::StopExporting() {
    Exporting = false;
    worker_->RequestStop();
    frmExport_->ShowStopping();
}

void TfrmForm::startButtonClick() {
    if (RunInProgress() || ListView->topLevelItemCount() == 0) return;
    TRunRequest request;
    for (int i = 0; i < ListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView->topLevelItem(i);
        request.Jobs.push_back({row->text(kColumnName), QDir::fromNativeSeparators(row->text(kColumnPath))});
    }
    request.FormatIndex = formateComboBox->currentIndex();
    request.PaperIndex = sizeComboBox->currentIndex();
    request.CompressionIndex = compComboBox->currentIndex();
    request.Destination = outputEdit->text();

    frmExport_->BeginRun();
    frmExport_->ShowDeckDone(0, int(request.Jobs.size()));
    frmExport_->show();
    frmExport_->raise();
    Exporting = true;
    worker_->StartRun(std::move(request));
    // The list stays as the run sees it until the run ends.
    followList();
}

void TfrmForm::onDeckFinished(int deck, bool completed, const QString& status) {
    if (QTreeWidgetItem* row = ListView->topLevelItem(deck)) {
        row->setText(kColumnStatus, status);
        row->setToolTip(kColumnStatus, status);
        row->setForeground(kColumnStatus, completed ? palette().text() : QBrush(QColor(180, 30, 30)));
    }
    frmExport_->ShowDeckDone(deck + 1, ListView->topLevelItemCount());
}

void TfrmForm::onRunEnded() {
    Exporting = false;
    frmExport_->hide();
    followList();
    if (closing_) return;
    if (services_.AskYesNo(this, QStringLiteral("Open the output directory now ? ")))
        services_.OpenUrl(QUrl::fromLocalFile(outputEdit->text()));
    emit RunFinished();
}

}  // namespace pressmark::gui
