#pragma once

#include <QDialog>

#include <string>

namespace quarnex {

// "About Quarnex": the program icon, "Quarnex Version" and the version compiled into the
// program ("????" when the build gave none).
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The version text for a compiled-in version string (null or empty gives "????").
    static std::string VersionText(const char* compiledVersion);
    // The version of this program.
    static std::string ProgramVersion();
};

} // namespace quarnex
