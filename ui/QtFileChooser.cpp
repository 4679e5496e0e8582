#include "ui/QtFileChooser.h"

#include <QFileDialog>
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
    const QString path = QFileDialog::getSaveFileName(
        owner_, QString::fromStdString(request.caption),
        QString::fromStdString(request.initialPath), FilterText(request.filters));
    if (path.isEmpty())
        return std::nullopt;
    return WithDefaultExtension(path.toStdString(), request.defaultExtension);
}

} // namespace quarnex
