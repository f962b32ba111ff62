#pragma once

#include <QPixmap>
#include <QWidget>

// The picture shown for a moment at start-up: a borderless window owned by the main dialog that
// goes away at its first timer tick, or with its owner. At most one exists at a time. UI thread
// only.
class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    ~CSplashWnd() override;

    static void EnableSplash(bool enable);
    // Shows the splash, owned by `owner`, unless it is disabled or already shown.
    static void ShowSplash(QWidget* owner);
    // Closes the window and repaints its owner at once; the object deletes itself.
    void HideSplash();

    // Whether ShowSplash may show the splash; false at program start.
    static inline bool s_splashEnabled = false;
    // The one live splash, or null.
    static inline CSplashWnd* s_splash = nullptr;

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    CSplashWnd();
    // Loads the picture and opens the window at its size, centred, with its hide timer running;
    // false when the picture cannot be loaded.
    bool CreateSplashWindow(QWidget* owner);
    // Centres the window over its owner when that is shown, else on the screen.
    void CenterWindow();
    void OnTimer();

    QPixmap m_picture;
};
