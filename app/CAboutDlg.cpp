#include "app/CAboutDlg.h"

#include "app/Pictures.h"
#include "res/AppTextIds.h"
#include "ui/UiText.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#ifndef QUARNEX_VERSION
#define QUARNEX_VERSION ""
#endif

namespace quarnex {

std::string CAboutDlg::VersionText(const char* compiledVersion) {
    if (!compiledVersion || !*compiledVersion)
        return Text(ids::kUnknownVersion);
    return compiledVersion;
}

std::string CAboutDlg::ProgramVersion() {
    return VersionText(QUARNEX_VERSION);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Ui(ids::kAboutCaption));
    auto* grid = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(pictures::ProgramIcon().pixmap(32, 32));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(new QLabel(Ui(ids::kVersionLabel), this), 0, 1);
    auto* version = new QLabel(QString::fromStdString(ProgramVersion()), this);
    version->setObjectName(QStringLiteral("version"));
    grid->addWidget(version, 1, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Ui(ids::kAppOk), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
}

} // namespace quarnex
