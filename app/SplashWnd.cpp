#include "app/SplashWnd.h"

#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <memory>

#include "res/Resource.h"

namespace {

constexpr int kHideTimerMs = 1500;

}  // namespace

CSplashWnd::CSplashWnd() {
    s_splash = this;
    // However the window ends (its timer, a close, its owner's end), the object goes with it.
    setAttribute(Qt::WA_DeleteOnClose);
}

CSplashWnd::~CSplashWnd() {
    s_splash = nullptr;
}

void CSplashWnd::EnableSplash(bool enable) {
    s_splashEnabled = enable;
}

void CSplashWnd::ShowSplash(QWidget* owner) {
    if (!s_splashEnabled || s_splash != nullptr) {
        return;
    }
    // Owned here until the window exists; then by its owner and by itself.
    std::unique_ptr<CSplashWnd> splash(new CSplashWnd);
    if (!splash->CreateSplashWindow(owner)) {
        return;
    }
    // Painted before the dialog's start-up goes on.
    splash.release()->repaint();
}

bool CSplashWnd::CreateSplashWindow(QWidget* owner) {
    if (!m_picture.load(QString::fromLatin1(IDB_SPLASH))) {
        return false;
    }
    setParent(owner, Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(m_picture.size());
    CenterWindow();
    // The window's own single shot: it ends with the window if the window goes first.
    QTimer::singleShot(kHideTimerMs, this, &CSplashWnd::OnTimer);
    show();
    return true;
}

void CSplashWnd::CenterWindow() {
    const QWidget* owner = parentWidget();
    QRect area;
    if (owner != nullptr && owner->isVisible() && !owner->isMinimized()) {
        area = owner->frameGeometry();
    } else if (const QScreen* screen = owner != nullptr ? owner->screen() : this->screen()) {
        area = screen->availableGeometry();
    }
    QRect placed = rect();
    placed.moveCenter(area.center());
    move(placed.topLeft());
}

void CSplashWnd::HideSplash() {
    QWidget* owner = parentWidget();
    close();
    if (owner != nullptr) {
        owner->repaint();
    }
}

void CSplashWnd::paintEvent(QPaintEvent* /*event*/) {
    QPainter(this).drawPixmap(0, 0, m_picture);
}

void CSplashWnd::timerEvent(QTimerEvent* /*event*/) {
    OnTimer();
}

void CSplashWnd::OnTimer() {
    // Whatever the timer: the window has no other.
    HideSplash();
}
