#include "app/panel/CBitmapButton.h"

#include "app/panel/PanelPictures.h"

#include <QPainter>

namespace quarnex {

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void CBitmapButton::LoadPictures(const QString& name) {
    const char* suffix[kPictureCount] = {"U", "D", "F", "X"};
    for (int i = 0; i < kPictureCount; ++i)
        pictures_[i] = panelpictures::ButtonPicture(name + QLatin1String(suffix[i]));
    setAccessibleName(name);
    updateGeometry();
    update();
}

CBitmapButton::Picture CBitmapButton::CurrentPicture() const {
    if (!isEnabled())
        return kDisabled;
    if (isDown())
        return kDown;
    if (hasFocus())
        return kFocused;
    return kUp;
}

QSize CBitmapButton::sizeHint() const {
    return pictures_[kUp].isNull() ? QSize(80, 40) : pictures_[kUp].size();
}

void CBitmapButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& picture = pictures_[CurrentPicture()];
    if (!picture.isNull())
        painter.drawPixmap(rect(), picture);
}

} // namespace quarnex
