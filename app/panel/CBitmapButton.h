#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace quarnex {

// A push button drawn with one of four pictures: up, down (pressed), focused and disabled, the
// way the panel's weighing keys look on the instrument's front.
class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Picture { kUp, kDown, kFocused, kDisabled, kPictureCount };

    explicit CBitmapButton(QWidget* parent = nullptr);

    // Loads the four pictures named after the button's caption: name + "U", "D", "F", "X".
    void LoadPictures(const QString& name);
    const QPixmap& PictureOf(Picture picture) const { return pictures_[picture]; }
    // The picture the button shows now.
    Picture CurrentPicture() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap pictures_[kPictureCount];
};

} // namespace quarnex
