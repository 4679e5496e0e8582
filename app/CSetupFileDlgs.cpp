#include "app/CSetupFileDlgs.h"

#include "app/CCompareDlg.h"
#include "app/CHistoryDlg.h"
#include "app/setup/CKelSetUpPropSheet.h"
#include "offline/OfflineSheet.h"
#include "res/OfflineTextIds.h"

#include "files/Backup.h"
#include "files/SetupListing.h"
#include "res/FileTextIds.h"
#include "res/FleetTextIds.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <ctime>

namespace quarnex {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The instrument's and the file's texts are one byte a character. Control characters other than
// keep (TAB, or CR and LF) show as replacement characters: a file's text is never obeyed.
QString FileText(const std::string& text, const QString& keep = QStringLiteral("\t")) {
    QString shown = FromInstrument(text);
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if ((u < 0x20 || (u >= 0x7F && u <= 0x9F)) && !keep.contains(c))
            c = QChar(0xFFFD);
    }
    return shown;
}

// A read-only file name field that shows the end of a long path.
QLineEdit* FileNameField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    // Visibly a display, not a field to type into: "Select file" chooses the file.
    LookReadOnly(field);
    field->setMinimumWidth(360);
    return field;
}

void ShowFileName(QLineEdit* field, const std::string& path) {
    field->setText(FileText(path));
    field->setCursorPosition(static_cast<int>(field->text().size()));
}

QGroupBox* Group(QWidget* parent, int title, QWidget* inside) {
    auto* box = new QGroupBox(Ui(title), parent);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(inside);
    return box;
}

// The group of the file name field with "Select file" beside it.
QGroupBox* FileGroup(QWidget* parent, int title, QLineEdit*& fileName, QPushButton*& select) {
    auto* fileRow = new QWidget(parent);
    auto* fileLayout = new QHBoxLayout(fileRow);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileName = FileNameField(fileRow);
    select = new QPushButton(Ui(ids::kSelectFileButton), fileRow);
    fileLayout->addWidget(fileName, 1);
    fileLayout->addWidget(select);
    return Group(parent, title, fileRow);
}

// The line layout of the file dialogs' windows: "Select file" beside the file name, the
// information below, and the dialog's own buttons at the bottom right.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

// A list without header or tree decoration whose columns stand where the listing's tabs put them.
QTreeWidget* ListBox(QWidget* parent, int columns) {
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(columns);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

// One line of the listing: label TAB display text and unit in two columns; a heading or an
// empty line in the first.
void AddListLine(QTreeWidget* list, const std::string& line) {
    const QString text = FileText(line);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    QStringList cells{tab < 0 ? text : text.left(tab)};
    if (tab >= 0)
        cells << text.mid(tab + 1).replace(QLatin1Char('\t'), QLatin1Char(' '));
    new QTreeWidgetItem(list, cells);
}

// The text box shows lines; the file and the information text keep them CR LF separated.
QString BoxText(const std::string& text) {
    return FileText(text, QStringLiteral("\t\r\n"))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

bool AskListingPrinter(QPrinter& printer, QWidget* owner) {
    QPrintDialog dialog(&printer, owner);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

// ---- WindowProgress ----

WindowProgress::WindowProgress(QWidget* owner, QString caption)
    : owner_(owner), caption_(std::move(caption)) {}

WindowProgress::~WindowProgress() {
    Close();
}

ProgressDialog& WindowProgress::Window() {
    if (!window_) {
        window_ = std::make_unique<ProgressDialog>();
        window_->setWindowTitle(caption_);
        window_->SetRange(low_, high_);
        window_->Create(owner_);
        window_->SetText(text_);
    }
    return *window_;
}

void WindowProgress::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
    Window().SetRange(low, high);
}

void WindowProgress::SetPos(int pos) {
    Window().SetPos(pos);
}

void WindowProgress::SetText(const std::string& text) {
    text_ = text;
    Window().SetText(text);
}

void WindowProgress::Close() {
    if (window_) {
        window_->Close();
        window_.reset();
    }
}

// ---- CBackupDlg ----

CBackupDlg::CBackupDlg(ModbusMaster& bus, int address, InstrumentType type, Prompter& prompter,
                       FileChooser* chooser, QWidget* parent)
    : QDialog(parent), bus_(bus), address_(address), type_(type), prompter_(prompter),
      qtChooser_(this), chooser_(chooser ? *chooser : qtChooser_) {
    setWindowTitle(Q(BackupCaption(type, address)));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(FileGroup(this, ids::kBackupFileGroup, fileName_, select_));

    // Free text that goes into the file; Return starts a new line rather than the backup.
    info_ = new QPlainTextEdit(this);
    info_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    info_->setTabChangesFocus(true);
    layout->addWidget(Group(this, ids::kOptionalInformation, info_));

    start_ = new QPushButton(Ui(ids::kStartBackupButton), this);
    auto* cancel = new QPushButton(Ui(ids::kCancelButton), this);
    start_->setAutoDefault(false);
    select_->setAutoDefault(false);
    cancel->setAutoDefault(false);
    layout->addLayout(ButtonRow({start_, cancel}));

    connect(select_, &QPushButton::clicked, this, &CBackupDlg::OnSelectFile);
    connect(start_, &QPushButton::clicked, this, &CBackupDlg::OnStartBackup);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CBackupDlg::OnSelectFile() {
    const auto path = chooser_.AskSave(BackupFileRequest(type_, ToInstrument(fileName_->text())));
    if (!path)
        return;
    ShowFileName(fileName_, *path);
    info_->setPlainText(BoxText(BackupInfoText(type_, address_, std::time(nullptr))));
    start_->setFocus();
}

void CBackupDlg::OnStartBackup() {
    WindowProgress progress(this, windowTitle());
    Backup backup(bus_, address_, type_, prompter_, progress);
    const std::string info = ToInstrument(info_->toPlainText());
    prompter_.BeginWaitCursor();
    const Backup::Result result = backup.Run(ToInstrument(fileName_->text()), info);
    prompter_.EndWaitCursor();
    progressShown_ = progress.Shown();
    progress.Close();
    switch (result) {
    case Backup::Result::Succeeded:
        accept();
        break;
    case Backup::Result::NoFile:
    case Backup::Result::FileFailed:
        select_->setFocus();
        break;
    default:
        break;
    }
}

// ---- CRestoreDlg ----

CRestoreDlg::CRestoreDlg(ModbusMaster& bus, int address, InstrumentType type, Prompter& prompter,
                         FileChooser* chooser, QWidget* parent)
    : QDialog(parent), prompter_(prompter), progress_(this, Q(RestoreCaption(type, address))),
      logic_(bus, address, type, prompter, progress_), qtChooser_(this),
      chooser_(chooser ? *chooser : qtChooser_), type_(type) {
    setWindowTitle(Q(RestoreCaption(type, address)));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(FileGroup(this, ids::kRestoreFileGroup, fileName_, select_));

    info_ = new QPlainTextEdit(this);
    info_->setReadOnly(true);
    layout->addWidget(Group(this, ids::kOptionalInformation, info_));

    auto* boxes = new QWidget(this);
    auto* boxLayout = new QVBoxLayout(boxes);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    setup_ = new QCheckBox(Ui(ids::kNormalSetupBox), boxes);
    strings_ = new QCheckBox(Ui(ids::kStringSetupBox), boxes);
    batching_ = new QCheckBox(Ui(ids::kBatchingSetupBox), boxes);
    recipes_ = new QCheckBox(Ui(ids::kRecipeSetupBox), boxes);
    for (QCheckBox* b : {setup_, strings_, batching_, recipes_})
        boxLayout->addWidget(b);
    layout->addWidget(Group(this, ids::kRestoreSelection, boxes));
    // Off by default: the instrument stays at its address, where the master and the other
    // instruments on the bus expect it.
    takeLink_ = new QCheckBox(Ui(ids::kTakeLinkSettingsBox), this);
    layout->addWidget(takeLink_);

    start_ = new QPushButton(Ui(ids::kStartRestoreButton), this);
    auto* cancel = new QPushButton(Ui(ids::kCancelButton), this);
    for (QPushButton* b : {select_, start_, cancel})
        b->setAutoDefault(false);
    layout->addLayout(ButtonRow({start_, cancel}));
    CheckAll();

    connect(select_, &QPushButton::clicked, this, &CRestoreDlg::OnSelectFile);
    connect(start_, &QPushButton::clicked, this, &CRestoreDlg::OnStartRestore);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CRestoreDlg::CheckAll() {
    for (QCheckBox* b : {setup_, strings_, batching_, recipes_})
        b->setChecked(true);
    takeLink_->setChecked(false);
}

void CRestoreDlg::OnSelectFile() {
    const auto path = chooser_.AskOpen(RestoreFileRequest(type_, ToInstrument(fileName_->text())));
    if (!path)
        return;
    std::string infoText;
    if (logic_.LoadFile(*path, infoText)) {
        ShowFileName(fileName_, *path);
        info_->setPlainText(BoxText(infoText));
        start_->setFocus();
    } else {
        fileName_->clear();
        info_->clear();
        select_->setFocus();
    }
    CheckAll();
}

void CRestoreDlg::OnStartRestore() {
    RestoreSelection selection;
    selection.setup = setup_->isChecked();
    selection.strings = strings_->isChecked();
    selection.batching = batching_->isChecked();
    selection.recipes = recipes_->isChecked();
    selection.takeLinkSettings = takeLink_->isChecked();
    prompter_.BeginWaitCursor();
    const Restore::Result result = logic_.Run(selection);
    prompter_.EndWaitCursor();
    progressShown_ = progress_.Shown();
    progress_.Close();
    switch (result) {
    case Restore::Result::Succeeded:
    case Restore::Result::Warnings:
        accept();
        break;
    case Restore::Result::NoFile:
        select_->setFocus();
        break;
    default:
        break;
    }
}

// ---- CSaveSetupDlg ----

CSaveSetupDlg::CSaveSetupDlg(OfflineSetupSheet& sheet, FileChooser& chooser, QWidget* parent)
    : QDialog(parent), sheet_(sheet), chooser_(chooser) {
    setWindowTitle(Ui(ids::kOfflineSaveCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FileGroup(this, ids::kBackupFileGroup, fileName_, select_));

    // Return starts a new line of the information, never the save.
    info_ = new QPlainTextEdit(this);
    info_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    info_->setTabChangesFocus(true);
    info_->setPlainText(BoxText(sheet.InfoText()));
    layout->addWidget(Group(this, ids::kOptionalInformation, info_));

    save_ = new QPushButton(Ui(ids::kOfflineSaveButton), this);
    auto* cancel = new QPushButton(Ui(ids::kCancelButton), this);
    for (QPushButton* b : {select_, save_, cancel})
        b->setAutoDefault(false);
    layout->addLayout(ButtonRow({save_, cancel}));

    connect(select_, &QPushButton::clicked, this, &CSaveSetupDlg::OnSelectFile);
    connect(save_, &QPushButton::clicked, this, &CSaveSetupDlg::OnSave);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    select_->setFocus();
}

bool CSaveSetupDlg::Run(OfflineSetupSheet& sheet, FileChooser& chooser, QWidget* parent) {
    CSaveSetupDlg dialog(sheet, chooser, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CSaveSetupDlg::OnSelectFile() {
    FileChooser::Request request = sheet_.SaveRequest();
    if (!path_.empty())
        request.initialPath = path_;
    const auto path = chooser_.AskSave(request);
    if (!path)
        return;
    path_ = *path;
    ShowFileName(fileName_, path_);
    save_->setFocus();
}

void CSaveSetupDlg::OnSave() {
    if (sheet_.Save(path_, ToInstrument(info_->toPlainText())))
        accept();
    else if (path_.empty())
        select_->setFocus();
}

void EditSetupFileOffline(QWidget* parent, std::string fileName, Prompter& prompter,
                          FileChooser* chooser) {
    QtFileChooser qtChooser(parent);
    FileChooser& files = chooser ? *chooser : qtChooser;
    if (fileName.empty()) {
        FileChooser::Request request = BackupFileRequest(itype::kKel7, {});
        request.caption = Text(ids::kOfflineOpenCaption);
        const auto path = files.AskOpen(request);
        if (!path)
            return;
        fileName = *path;
    }
    QWidget* window = nullptr; // the sheet, once it exists: the save dialog's owner
    auto logic =
        std::make_unique<OfflineSetupSheet>(fileName, prompter, [&](OfflineSetupSheet& sheet) {
            return CSaveSetupDlg::Run(sheet, files, window);
        });
    CKelSetUpPropSheet sheet(std::move(logic), parent);
    window = &sheet;
    if (sheet.Start())
        sheet.exec();
}

// ---- CSetupViewerDlg ----

CSetupViewerDlg::CSetupViewerDlg(Prompter& prompter, FileChooser* chooser, QWidget* parent)
    : QDialog(parent), prompter_(prompter), qtChooser_(this),
      chooser_(chooser ? *chooser : qtChooser_) {
    setWindowTitle(Ui(ids::kViewerCaption));
    auto* layout = new QVBoxLayout(this);

    QPushButton* select = nullptr;
    layout->addWidget(FileGroup(this, ids::kSelectedFile, fileName_, select));

    info_ = ListBox(this, 1);
    info_->setMaximumHeight(info_->fontMetrics().height() * 10);
    layout->addWidget(Group(this, ids::kOptionalInformation, info_));

    // Label, display text and unit; the label column is wide enough for the longest label.
    listing_ = ListBox(this, 2);
    listing_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    listing_->setMinimumSize(560, 320);
    layout->addWidget(listing_, 1);

    printGroup_ = new QGroupBox(Ui(ids::kPrintSelection), this);
    auto* boxLayout = new QHBoxLayout(printGroup_);
    setup_ = new QCheckBox(Ui(ids::kNormalSetupBox), printGroup_);
    batching_ = new QCheckBox(Ui(ids::kBatchingSetupBox), printGroup_);
    recipes_ = new QCheckBox(Ui(ids::kRecipeSetupBox), printGroup_);
    strings_ = new QCheckBox(Ui(ids::kStringSetupBox), printGroup_);
    for (QCheckBox* b : {setup_, batching_, recipes_, strings_})
        boxLayout->addWidget(b);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(printGroup_, 1);
    print_ = new QPushButton(Ui(ids::kPrintButton), this);
    // The file shown against another file: what differs between them.
    compare_ = new QPushButton(Ui(ids::kCompareButton), this);
    // The file shown in the set-up sheet, to be edited and saved as a new file.
    edit_ = new QPushButton(Ui(ids::kOfflineEditButton), this);
    // A plant's set-up history (fleet backups) in a window of its own.
    history_ = new QPushButton(Ui(ids::kHistoryButton), this);
    auto* close = new QPushButton(Ui(ids::kCloseButton), this);
    for (QPushButton* b : {select, print_, compare_, edit_, history_, close})
        b->setAutoDefault(false);
    bottom->addWidget(print_);
    bottom->addWidget(compare_);
    bottom->addWidget(edit_);
    bottom->addWidget(history_);
    bottom->addWidget(close);
    layout->addLayout(bottom);
    EnablePrinting(false);

    printerSetup_ = AskListingPrinter;

    connect(select, &QPushButton::clicked, this, &CSetupViewerDlg::OnSelectFile);
    connect(print_, &QPushButton::clicked, this, &CSetupViewerDlg::OnPrint);
    connect(compare_, &QPushButton::clicked, this,
            [this] { CompareFileWithChosen(this, path_, prompter_, &chooser_); });
    connect(edit_, &QPushButton::clicked, this,
            [this] { EditSetupFileOffline(this, path_, prompter_, &chooser_); });
    connect(history_, &QPushButton::clicked, this,
            [this] { OpenHistoryChosen(this, prompter_, &chooser_, askFolder_); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

CSetupViewerDlg::~CSetupViewerDlg() = default;

void CSetupViewerDlg::EnablePrinting(bool loaded) {
    for (QCheckBox* b : {setup_, batching_, recipes_, strings_})
        b->setChecked(true);
    printGroup_->setEnabled(loaded);
    print_->setEnabled(loaded);
    compare_->setEnabled(loaded);
    edit_->setEnabled(loaded);
    setup_->setEnabled(loaded);
    batching_->setEnabled(loaded);
    recipes_->setEnabled(loaded);
    // The strings are always printed.
    strings_->setEnabled(false);
}

void CSetupViewerDlg::OnSelectFile() {
    const auto path = chooser_.AskOpen(SetupViewerFileRequest(path_));
    if (!path)
        return;
    path_ = *path;
    title_ = QFileInfo(Q(path_)).fileName().toStdString();
    file_.SetFileName(path_);
    listing_->clear();
    info_->clear();

    SetupListing listing;
    const bool loaded = ReadSetupListing(file_, prompter_, listing) == SetupFileStatus::kOk;
    if (loaded) {
        for (const std::string& line : listing.lines)
            AddListLine(listing_, line);
        for (const std::string& line : listing.userInfo)
            new QTreeWidgetItem(info_, QStringList{FileText(line)});
        ShowFileName(fileName_, path_);
    } else {
        path_.clear();
        title_.clear();
        file_.ClearFileName();
        fileName_->clear();
    }
    EnablePrinting(loaded);
}

void CSetupViewerDlg::OnPrint() {
    PrintSelection selection;
    selection.setup = setup_->isChecked();
    selection.batching = batching_->isChecked();
    selection.recipes = recipes_->isChecked();
    selection.strings = strings_->isChecked();
    if (!selection.Any()) {
        prompter_.Error(Text(ids::kNoDataToPrint));
        return;
    }
    // Whatever was laid out goes to the printer: a group cut short by a bad section still
    // prints the groups before it.
    PrintListing(Q(title_), title_, printerSetup_, this, prompter_, [&](CharacterPrinter& pages) {
        file_.SetFileName(path_);
        PrintSetupFile(file_, prompter_, selection, pages);
    });
}

// ---- Printing ----

void CharacterGrid(QPrinter& printer, int& columns, int& lines) {
    const QRectF inches = printer.pageLayout().paintRect(QPageLayout::Inch);
    columns = CharacterPrinter::kColumnsPerInch * static_cast<int>(inches.width());
    lines = CharacterPrinter::kLinesPerInch * static_cast<int>(inches.height());
}

void PrintListing(const QString& docName, const std::string& title,
                  const std::function<bool(QPrinter&, QWidget*)>& printerSetup, QWidget* owner,
                  Prompter& prompter, const std::function<void(CharacterPrinter&)>& layout) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(docName);
    if (!printerSetup(printer, owner))
        return;
    prompter.BeginWaitCursor();
    int columns = 0, lines = 0;
    CharacterGrid(printer, columns, lines);
    CharacterPrinter pages(title, columns, lines);
    layout(pages);
    const bool printed = pages.Pages().empty() || DrawCharacterPages(pages, printer);
    prompter.EndWaitCursor();
    if (!printed)
        prompter.Error(Text(ids::kPrintFailed));
}

bool DrawCharacterPages(const CharacterPrinter& pages, QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const qreal cellWidth = printer.logicalDpiX() / qreal(CharacterPrinter::kColumnsPerInch);
    const qreal cellHeight = printer.logicalDpiY() / qreal(CharacterPrinter::kLinesPerInch);
    // "Courier New" where it is installed; the system's fixed-pitch face in its place. The size
    // is chosen so that one character fills a cell's width without spilling into the next.
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(qRound(cellHeight));
    painter.setFont(font);
    const qreal advance = QFontMetricsF(font, &printer).horizontalAdvance(QLatin1Char('M'));
    if (advance > cellWidth) {
        font.setPixelSize(qMax(1, int(cellHeight * cellWidth / advance)));
        painter.setFont(font);
    }
    const qreal ascent = QFontMetricsF(font, &printer).ascent();
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);

    bool first = true;
    for (const std::vector<std::string>& page : pages.Pages()) {
        if (!first && !printer.newPage())
            break;
        first = false;
        for (size_t line = 0; line < page.size(); ++line) {
            const std::string& text = page[line];
            const qreal baseline = line * cellHeight + (cellHeight + ascent) / 2;
            for (size_t column = 0; column < text.size(); ++column) {
                if (text[column] == ' ')
                    continue;
                painter.drawText(QPointF(column * cellWidth, baseline),
                                 QString(QChar::fromLatin1(text[column])));
            }
        }
    }
    painter.end();
    return true;
}

// ---- Panel hooks ----

PanelHooks SetupFilePanelHooks(ModbusMaster& bus, Prompter& prompter,
                               std::function<FileChooser*()> chooser) {
    auto chosen = [chooser] { return chooser ? chooser() : nullptr; };
    PanelHooks hooks;
    hooks.backup = [&bus, &prompter, chosen](QWidget* parent, int address) {
        CBackupDlg dialog(bus, address, itype::kKel7, prompter, chosen(), parent);
        dialog.exec();
    };
    hooks.restore = [&bus, &prompter, chosen](QWidget* parent, int address) {
        CRestoreDlg dialog(bus, address, itype::kKel7, prompter, chosen(), parent);
        dialog.exec();
    };
    hooks.compare = [&bus, &prompter, chosen](QWidget* parent, int address) {
        CompareInstrumentWithChosen(parent, bus, address, prompter, chosen());
    };
    return hooks;
}

} // namespace quarnex
