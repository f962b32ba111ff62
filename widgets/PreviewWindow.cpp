#include "widgets/PreviewWindow.h"

#include "platform/UiThread.h"
#include "widgets/WidgetApplication.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include <opencv2/core/mat.hpp>
#include <opencv2/imgproc.hpp>

namespace {

class PreviewWidget;

// One named window: the latest image, handed over between the caller's thread and the UI thread.
struct PreviewState {
    std::mutex mutex;
    // Guarded by mutex. Shared through shared_ptr rather than QImage's own sharing, so that
    // ThreadSanitizer sees that the last owner, on either thread, frees the pixels after use.
    std::shared_ptr<const QImage> image;
    bool refreshPending = false;     // guarded by mutex; one queued refresh at a time is enough
    QPointer<PreviewWidget> widget;  // UI thread only
    bool placed = false;             // UI thread only: placed once it had the size of an image
};

// The windows by name, and the keys pressed in them. A name is registered at once, so an image
// shown right after NamedWindow from another thread is kept even though the widget itself is made
// later on the UI thread. Keys belong to the windows that are open: a key pressed in a window that
// is gone, or left untaken when it went, never reaches a later window's wait.
class WindowRegistry {
public:
    std::shared_ptr<PreviewState> Add(const std::string& name) {
        std::lock_guard lock(m_mutex);
        auto [it, added] = m_windows.try_emplace(name);
        if (!added) {
            return nullptr;
        }
        it->second = std::make_shared<PreviewState>();
        return it->second;
    }

    std::shared_ptr<PreviewState> Find(const std::string& name) const {
        std::lock_guard lock(m_mutex);
        const auto it = m_windows.find(name);
        return it == m_windows.end() ? nullptr : it->second;
    }

    std::shared_ptr<PreviewState> Remove(const std::string& name) {
        std::lock_guard lock(m_mutex);
        const auto node = m_windows.extract(name);
        if (m_windows.empty()) {
            m_keys.clear();
        }
        return node.empty() ? nullptr : node.mapped();
    }

    // Queues a key pressed in the window of `state`, unless that window is gone.
    void PushKey(const PreviewState& state, int key) {
        {
            std::lock_guard lock(m_mutex);
            const bool open =
                std::any_of(m_windows.begin(), m_windows.end(),
                            [&](const auto& entry) { return entry.second.get() == &state; });
            if (!open) {
                return;
            }
            m_keys.push_back(key);
        }
        m_keyPressed.notify_all();
    }

    std::optional<int> TryTakeKey() {
        std::lock_guard lock(m_mutex);
        return TakeKeyLocked();
    }

    std::optional<int> WaitTakeKey(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        m_keyPressed.wait_for(lock, timeout, [this] { return !m_keys.empty(); });
        return TakeKeyLocked();
    }

private:
    std::optional<int> TakeKeyLocked() {
        if (m_keys.empty()) {
            return std::nullopt;
        }
        const int key = m_keys.front();
        m_keys.pop_front();
        return key;
    }

    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<PreviewState>> m_windows;  // guarded by m_mutex
    std::deque<int> m_keys;                                          // guarded by m_mutex
    std::condition_variable m_keyPressed;
};

WindowRegistry& Windows() {
    static WindowRegistry registry;
    return registry;
}

// The Latin-1 code of the key's text (113 for q, 27 for Escape), else Qt's key value.
int KeyCode(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.size() == 1 && text.front().unicode() < 256) {
        return text.front().unicode();
    }
    if (event.key() == Qt::Key_Escape) {
        return 27;  // some platforms send Escape without text
    }
    return event.key();
}

class PreviewWidget final : public QWidget {
public:
    explicit PreviewWidget(std::shared_ptr<PreviewState> state) : m_state(std::move(state)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        std::shared_ptr<const QImage> image;
        {
            std::lock_guard lock(m_state->mutex);
            image = m_state->image;  // the caller replaces the image, never writes into it
        }
        if (image) {
            QPainter(this).drawImage(rect(), *image);  // scaled to the room the screen has
        }
    }

    void keyPressEvent(QKeyEvent* event) override { Windows().PushKey(*m_state, KeyCode(*event)); }

private:
    std::shared_ptr<PreviewState> m_state;
};

// The size the window shows an image of `imageSize` at: its pixels as the screen's own (at a scale
// factor of 2, half as many of the program's units), and within the screen's free area.
QSize ShownSize(const QWidget& widget, QSize imageSize) {
    QSize size = (QSizeF(imageSize) / widget.devicePixelRatioF()).toSize();
    if (const QScreen* screen = widget.screen()) {
        const QSize room = screen->availableGeometry().size();
        if (size.width() > room.width() || size.height() > room.height()) {
            size.scale(room, Qt::KeepAspectRatio);
        }
    }
    return size.expandedTo(QSize(1, 1));
}

// Places a new preview beside the program's main window, right of it where it fits, else left of
// it, and always within the screen's free area.
void PlaceBesideMainWindow(QWidget& preview) {
    const QWidget* main = nullptr;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<const QDialog*>(widget) && widget->isVisible() &&
            !widget->parentWidget()) {
            main = widget;
            break;
        }
    }
    const QScreen* screen = main != nullptr ? main->screen() : preview.screen();
    if (main == nullptr || screen == nullptr) {
        return;
    }
    const QRect room = screen->availableGeometry();
    const QRect beside = main->frameGeometry();
    QRect target(QPoint(beside.right() + 1, beside.top()), preview.size());
    if (!room.contains(target)) {
        target.moveRight(beside.left() - 1);
    }
    if (!room.contains(target)) {
        target.moveLeft(std::clamp(target.left(), room.left(), room.right() - target.width()));
    }
    target.moveTop(std::clamp(target.top(), room.top(),
                              std::max(room.top(), room.bottom() - target.height())));
    preview.move(target.topLeft());
}

// Fits the window to its latest image and asks for a repaint. UI thread only.
void Refresh(PreviewState& state) {
    QSize size;
    {
        std::lock_guard lock(state.mutex);
        state.refreshPending = false;
        size = state.image ? state.image->size() : QSize();
    }
    if (!state.widget || size.isEmpty()) {
        return;
    }
    size = ShownSize(*state.widget, size);
    if (state.widget->size() != size) {
        state.widget->setFixedSize(size);
    }
    if (!std::exchange(state.placed, true)) {
        PlaceBesideMainWindow(*state.widget);
    }
    // Closed by the user during a run: back with the next frame, as a capture window would be.
    if (!state.widget->isVisible()) {
        state.widget->show();
    }
    state.widget->update();
}

// Deletes the preview windows left open while the application can still delete widgets.
void DeletePreviewWidgets() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (dynamic_cast<PreviewWidget*>(widget)) {
            delete widget;
        }
    }
}

// Registers DeletePreviewWidgets once with the running application.
void DeletePreviewWidgetsAtExit() {
    qRemovePostRoutine(DeletePreviewWidgets);
    qAddPostRoutine(DeletePreviewWidgets);
}

// Makes the widget of `state` unless the window was destroyed before this ran. UI thread only.
void CreateWidget(const std::string& name, const std::shared_ptr<PreviewState>& state) {
    if (Windows().Find(name) != state) {
        return;
    }
    // A top-level window: deleted by DestroyWindow, or by DeletePreviewWidgets at exit.
    state->widget = new PreviewWidget(state);
    state->widget->setWindowTitle(QString::fromStdString(name));
    state->widget->setAccessibleName(state->widget->windowTitle());
    DeletePreviewWidgetsAtExit();
    state->widget->show();
    Refresh(*state);
}

// A copy of an 8-bit gray or BGR image in the format the UI thread paints by plain copy, or null
// for an empty image or any other kind.
std::shared_ptr<const QImage> ToQImage(const cv::Mat& image) {
    if (image.empty() || image.depth() != CV_8U ||
        (image.channels() != 1 && image.channels() != 3)) {
        return nullptr;
    }
    // RGB32 pixels lie in memory as B, G, R, 255 on little-endian machines.
    static_assert(std::endian::native == std::endian::little);
    QImage converted(image.cols, image.rows, QImage::Format_RGB32);
    cv::Mat target(image.rows, image.cols, CV_8UC4, converted.bits(), converted.bytesPerLine());
    cv::cvtColor(image, target, image.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_BGR2BGRA);
    return std::make_shared<const QImage>(std::move(converted));
}

}  // namespace

void NamedWindow(const std::string& name) {
    if (!WidgetApplication()) {
        return;
    }
    std::shared_ptr<PreviewState> state = Windows().Add(name);
    if (state) {
        RunOnUiThread([name, state] { CreateWidget(name, state); });
    }
}

void ShowImage(const std::string& name, const cv::Mat& image) {
    const std::shared_ptr<PreviewState> state = Windows().Find(name);
    if (!state) {
        return;
    }
    std::shared_ptr<const QImage> copy = ToQImage(image);
    if (!copy) {
        return;
    }
    bool askRefresh = false;
    {
        std::lock_guard lock(state->mutex);
        state->image.swap(copy);  // the replaced image is freed after unlocking
        askRefresh = !std::exchange(state->refreshPending, true);
    }
    if (askRefresh) {
        RunOnUiThread([state] { Refresh(*state); });
    }
}

int WaitKey(int ms) {
    const std::chrono::milliseconds timeout(std::max(ms, 1));
    if (!IsUiThread()) {
        return Windows().WaitTakeKey(timeout).value_or(-1);
    }
    // The deadline timer's own event ends the wait below when no key comes.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(timeout);
    std::optional<int> key = Windows().TryTakeKey();
    while (!key && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        key = Windows().TryTakeKey();
    }
    return key.value_or(-1);
}

int PollKey() {
    if (IsUiThread()) {
        QCoreApplication::processEvents();
    }
    return Windows().TryTakeKey().value_or(-1);
}

void DestroyWindow(const std::string& name) {
    const std::shared_ptr<PreviewState> state = Windows().Remove(name);
    if (state) {
        RunOnUiThread([state] { delete state->widget.data(); });
    }
}
