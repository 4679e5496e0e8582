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
        entries << QString::fromStdString(filter.name) + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
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
