#pragma once

#include <QPixmap>
#include <QString>

namespace quarnex::panelpictures {

// The pictures of the panel's weighing keys, drawn at run time: "TAREU", "TARED", "TAREF",
// "TAREX", "GRNETU" ... "ZEROX" (caption + U up, D down, F focused, X disabled). An unknown name
// gives a null pixmap.
QPixmap ButtonPicture(const QString& name);

// The size of every key picture.
constexpr int kWidth = 84;
constexpr int kHeight = 44;

} // namespace quarnex::panelpictures
