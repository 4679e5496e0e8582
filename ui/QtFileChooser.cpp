#include "ui/QtFileChooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace quarnex {

QString QtFileChooser::FilterText(const std::vector<FileFilter>& filters) {
    QStringList entries;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns)
            patterns << QString::fromStdString(pattern);
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        // The program's own filter names already end in their patterns ("KEL backup files
        // (*.kel)"); they are not shown twice.
        const QString name = QString::fromStdString(filter.name);
        const QString list = QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        entries << (name.endsWith(list) ? name : name + QLatin1Char(' ') + list);
    }
    return entries.join(QStringLiteral(";;"));
}

std::optional<std::string> QtFileChooser::AskOpen(const Request& request) {
    const QString path = QFileDialog::getOpenFileName(
        owner_, QString::fromStdString(request.caption),
        QString::fromStdString(request.initialPath), FilterText(request.filters));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtFileChooser::AskSave(const Request& request) {
    QString initial = QString::fromStdString(request.initialPath);
    for (;;) {
        QFileDialog dialog(owner_, QString::fromStdString(request.caption), initial,
                           FilterText(request.filters));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The dialog adds the extension itself, so its question about an existing file is
        // about the file that will be written: "unit7" when unit7.kel exists.
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString chosen = dialog.selectedFiles().first();
        if (chosen.isEmpty())
            return std::nullopt;
        const std::string path =
            WithDefaultExtension(chosen.toStdString(), request.defaultExtension);
        // A dialog of the desktop may leave the extension out and have asked about another name:
        // the file really written is asked about here, and No returns to the dialog.
        if (path == chosen.toStdString() || !QFileInfo::exists(QString::fromStdString(path)))
            return path;
        const QString name = QFileInfo(QString::fromStdString(path)).fileName();
        if (QMessageBox::question(
                owner_, QString::fromStdString(request.caption),
                name + QStringLiteral(" already exists.\nDo you want to replace it?"),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
            return path;
        initial = QString::fromStdString(path);
    }
}

} // namespace quarnex
