#pragma once

#include <QIcon>
#include <QPixmap>

namespace quarnex {

// The program's pictures, drawn here rather than loaded: they scale to any size and need no
// image plug-in.
namespace pictures {

// The list's instrument images, in image-list order (QuarnexView::Image).
QPixmap Instrument(int image, int size);
QIcon InstrumentIcon(int image);

// Toolbar buttons (16 x 15).
enum class Tool { Instruments, CommParams, SelectInstrument, SetupFiles, About };
QIcon ToolIcon(Tool tool);

QIcon ProgramIcon();
// The start-up picture.
QPixmap Splash(const QString& versionText);
// The picture beside the list (350 x 250): a weighing installation on its bus.
QPixmap Installation(int width, int height);

} // namespace pictures
} // namespace quarnex
