#include "app/CSplashWnd.h"

#include "app/CAboutDlg.h"
#include "app/Pictures.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace quarnex {

bool CSplashWnd::enabled_ = true;
CSplashWnd* CSplashWnd::current_ = nullptr;

CSplashWnd::CSplashWnd(QWidget* mainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(pictures::Splash(QString::fromStdString(CAboutDlg::ProgramVersion()))),
      mainWindow_(mainWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    setFixedSize(picture_.size());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CSplashWnd::HideSplashScreen);
    qApp->installEventFilter(this);
}

CSplashWnd::~CSplashWnd() {
    qApp->removeEventFilter(this);
    if (current_ == this)
        current_ = nullptr;
}

void CSplashWnd::ShowSplashScreen(QWidget* mainWindow) {
    if (!enabled_ || current_)
        return;
    current_ = new CSplashWnd(mainWindow);
    current_->show();
    current_->timer_.start(kShowMs);
}

void CSplashWnd::HideSplashScreen() {
    CSplashWnd* splash = current_;
    if (!splash)
        return;
    current_ = nullptr;
    splash->timer_.stop();
    qApp->removeEventFilter(splash);
    QPointer<QWidget> mainWindow = splash->mainWindow_;
    splash->hide();
    splash->deleteLater();
    if (mainWindow)
        mainWindow->repaint();
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

bool CSplashWnd::eventFilter(QObject* watched, QEvent* event) {
    if (current_ == this) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Keep menu accelerators from acting on the key that only closes the splash.
            event->accept();
            return true;
        case QEvent::KeyPress:
            HideSplashScreen();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress: {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::LeftButton || button == Qt::RightButton ||
                button == Qt::MiddleButton) {
                HideSplashScreen();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quarnex
