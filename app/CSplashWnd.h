#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quarnex {

// The start-up picture: a borderless pop-up centred on the screen for 5 s. Any key press or
// left, right or middle mouse button press anywhere in the program closes it early and is
// swallowed, so the first click of an impatient user does nothing else.
class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowMs = 5000;

    // Shows the splash unless it is disabled or already shown; mainWindow is redrawn when it
    // goes.
    static void ShowSplashScreen(QWidget* mainWindow);
    static void EnableSplashScreen(bool enable) { enabled_ = enable; }
    static CSplashWnd* Current() { return current_; }
    static void HideSplashScreen();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CSplashWnd(QWidget* mainWindow);
    ~CSplashWnd() override;

    static bool enabled_;
    static CSplashWnd* current_;
    QPixmap picture_;
    QTimer timer_;
    QPointer<QWidget> mainWindow_;
};

} // namespace quarnex
