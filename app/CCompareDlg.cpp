#include "app/CCompareDlg.h"

#include "app/CSetupFileDlgs.h"
#include "files/SetupListing.h"
#include "res/FileTextIds.h"
#include "res/OfflineTextIds.h"
#include "ui/UiText.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quarnex {

namespace {

// Labels and values come from the instruments and the files: one byte a character.
QString Bytes(const std::string& text) {
    return FromInstrument(text);
}

} // namespace

CCompareDlg::CCompareDlg(const SetupDiff& diff, std::string leftName, std::string rightName,
                         Prompter& prompter, FileChooser* chooser, QWidget* parent,
                         bool namesArePaths)
    : QDialog(parent), prompter_(prompter), qtChooser_(this),
      chooser_(chooser ? *chooser : qtChooser_), text_(DiffText(diff, leftName, rightName)) {
    setWindowTitle(Ui(ids::kCompareCaption));
    const auto shortName = [namesArePaths](const std::string& name) {
        return namesArePaths ? QFileInfo(Bytes(name)).fileName() : Bytes(name);
    };
    title_ = shortName(leftName).toStdString() + " / " + shortName(rightName).toStdString();
    // The print dialog proposes "<folder>/<document name>.pdf": the name must be one a file can
    // have, so no extension of a file's in it, and the "/" of a version's link name ("Hall
    // B/1@~1") is the division slash that looks the same and is no folder.
    const auto baseName = [namesArePaths](const std::string& name) {
        return namesArePaths ? QFileInfo(Bytes(name)).completeBaseName()
                             : Bytes(name).replace(QLatin1Char('/'), QChar(0x2215));
    };
    docName_ = baseName(leftName) + QStringLiteral(" vs ") + baseName(rightName);
    auto* layout = new QVBoxLayout(this);
    // The header lines of the text: which two set-ups, and from which instruments.
    for (size_t i = 0; i < 2 && i < text_.size(); ++i)
        layout->addWidget(new QLabel(Bytes(text_[i]), this));

    result_ = new QTreeWidget(this);
    result_->setColumnCount(3);
    result_->setHeaderLabels({Ui(ids::kCompareRowColumn), Bytes(leftName), Bytes(rightName)});
    result_->setUniformRowHeights(true);
    for (const DiffGroup& g : diff.groups) {
        auto* group = new QTreeWidgetItem(result_, QStringList{Bytes(g.title)});
        QFont bold = group->font(0);
        bold.setBold(true);
        group->setFont(0, bold);
        for (const DiffLine& l : g.lines)
            new QTreeWidgetItem(group, {Bytes(l.label), Bytes(l.left), Bytes(l.right)});
    }
    result_->expandAll();
    result_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    result_->setMinimumSize(640, 320);
    layout->addWidget(result_, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(Bytes(text_.back()), this), 1);
    save_ = new QPushButton(Ui(ids::kCompareSaveButton), this);
    print_ = new QPushButton(Ui(ids::kPrintButton), this);
    auto* close = new QPushButton(Ui(ids::kCloseButton), this);
    for (QPushButton* b : {save_, print_, close}) {
        b->setAutoDefault(false);
        bottom->addWidget(b);
    }
    layout->addLayout(bottom);

    printerSetup_ = AskListingPrinter;
    connect(save_, &QPushButton::clicked, this, &CCompareDlg::OnSave);
    connect(print_, &QPushButton::clicked, this, &CCompareDlg::OnPrint);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void CCompareDlg::OnSave() {
    const auto path = chooser_.AskSave(DiffTextFileRequest(savedPath_));
    if (!path)
        return;
    std::string error;
    if (!SaveDiffText(*path, text_, error)) {
        prompter_.Error(error);
        return;
    }
    savedPath_ = *path;
}

void CCompareDlg::OnPrint() {
    PrintListing(docName_, title_, printerSetup_, this, prompter_,
                 [this](CharacterPrinter& pages) { PrintDiffText(text_, pages); });
}

void CompareFileWithChosen(QWidget* parent, const std::string& first, Prompter& prompter,
                           FileChooser* chooser) {
    QtFileChooser qtChooser(parent);
    FileChooser& choose = chooser ? *chooser : qtChooser;
    FileChooser::Request request = SetupViewerFileRequest(first);
    request.caption = Text(ids::kCompareOpenCaption);
    const auto second = choose.AskOpen(request);
    if (!second)
        return;
    SetupFileImage left, right;
    if (LoadSetupFileImage(first, left, prompter) != SetupFileStatus::kOk ||
        LoadSetupFileImage(*second, right, prompter) != SetupFileStatus::kOk)
        return;
    CCompareDlg dialog(CompareSetups(left, right), first, *second, prompter, chooser, parent);
    dialog.exec();
}

void CompareInstrumentWithChosen(QWidget* parent, ModbusMaster& bus, int address,
                                 Prompter& prompter, FileChooser* chooser) {
    QtFileChooser qtChooser(parent);
    FileChooser& choose = chooser ? *chooser : qtChooser;
    FileChooser::Request request = SetupViewerFileRequest({});
    request.caption = Text(ids::kCompareOpenCaption);
    const auto file = choose.AskOpen(request);
    if (!file)
        return;
    SetupFileImage fromFile, fromInstrument;
    if (LoadSetupFileImage(*file, fromFile, prompter) != SetupFileStatus::kOk)
        return;
    {
        WindowProgress progress(parent, Ui(ids::kCompareCaption));
        if (!ReadInstrumentImage(bus, address, prompter, progress, fromInstrument))
            return;
    }
    CCompareDlg dialog(CompareSetups(fromInstrument, fromFile), InstrumentSideName(address), *file,
                       prompter, chooser, parent);
    dialog.exec();
}

} // namespace quarnex
