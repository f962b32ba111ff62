#include "capture/BoundedCamera.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <opencv2/core.hpp>

#include "capture/ThreadCount.h"

namespace {

// A camera and the thread that makes all its calls. A call is handed over under the mutex; the
// caller waits for it up to a limit. The thread and the camera belong to state shared with the
// thread, so a call that never returns keeps them alive, and the thread ends when it does.
class BoundedCamera final : public CameraSource {
public:
    explicit BoundedCamera(std::chrono::milliseconds grabLimit)
        : m_state(std::make_shared<State>()), m_grabLimit(grabLimit) {
        std::thread([state = m_state] { Serve(*state); }).detach();
    }

    // Closes the camera on its thread, unless a call holds it there; the thread then closes it
    // once that call returns.
    ~BoundedCamera() override {
        Run([](State& state) { return Close(state); }, m_grabLimit);
        {
            std::lock_guard lock(m_state->mutex);
            m_state->quit = true;
        }
        m_state->changed.notify_all();
    }

    BoundedCamera(const BoundedCamera&) = delete;
    BoundedCamera& operator=(const BoundedCamera&) = delete;

    bool Open(const CameraOpener& open, int index, const std::string& source,
              std::chrono::milliseconds limit) {
        return Run(
            [open, index, source](State& state) {
                state.camera = open(index, source);
                // Asked here once, so that no other thread ever calls the camera.
                state.reopenable = state.camera && state.camera->Reopenable();
                state.fileFps = state.camera ? state.camera->FileFramesPerSecond() : 0.0;
                state.identity = state.camera ? state.camera->Identity() : CameraIdentity{};
                return state.camera != nullptr;
            },
            limit);
    }

    bool Grab() override {
        return Run([](State& state) { return state.camera->Grab(); }, m_grabLimit);
    }

    bool Retrieve(cv::Mat& frame) override {
        // Retrieved into the state's own buffer, which outlives a call that hangs.
        if (Run([](State& state) { return state.camera->Retrieve(state.frame); }, m_grabLimit)) {
            frame = m_state->frame;
            return true;
        }
        frame.release();
        return false;
    }

    bool Set(int property, double value) override {
        return Run([property, value](State& state) { return state.camera->Set(property, value); },
                   m_grabLimit);
    }

    // A control transfer the camera never answers counts as a grab that never returns.
    void Meter(const CameraLockChoice& choice) override {
        Run(
            [choice](State& state) {
                state.camera->Meter(choice);
                return true;
            },
            m_grabLimit);
    }

    std::optional<std::string> Lock(const CameraLockChoice& choice) override {
        // Handed over through a holder of its own, which a call that hangs keeps alive.
        auto trouble = std::make_shared<std::optional<std::string>>();
        const bool done = Run(
            [choice, trouble](State& state) {
                *trouble = state.camera->Lock(choice);
                return true;
            },
            m_grabLimit);
        return done ? *trouble : std::nullopt;
    }

    bool Reopenable() const override { return m_state->reopenable; }
    double FileFramesPerSecond() const override { return m_state->fileFps; }
    CameraIdentity Identity() const override { return m_state->identity; }

private:
    struct State;
    using Call = std::function<bool(State&)>;

    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::unique_ptr<CameraSource> camera;  // used on the camera's thread only
        cv::Mat frame;                         // written by the camera's thread during a call
        bool reopenable = false;               // written by the open
        double fileFps = 0.0;                  // written by the open
        CameraIdentity identity;               // written by the open
        Call call;                             // guarded by mutex
        bool done = false;                     // guarded by mutex
        bool result = false;                   // guarded by mutex
        bool hung = false;                     // guarded by mutex
        bool quit = false;                     // guarded by mutex
    };

    // Runs `call` on the camera's thread; false when it failed or took longer than `limit`, after
    // which the camera is given up and every later call fails at once. `call` must own what it
    // uses: it may outlive this call.
    bool Run(Call call, std::chrono::milliseconds limit) {
        std::unique_lock lock(m_state->mutex);
        if (m_state->hung) {
            return false;
        }
        m_state->call = std::move(call);
        m_state->done = false;
        m_state->changed.notify_all();
        if (!m_state->changed.wait_for(lock, limit, [this] { return m_state->done; })) {
            m_state->hung = true;
            return false;
        }
        return m_state->result;
    }

    static bool Close(State& state) {
        state.frame.release();
        state.camera.reset();
        return true;
    }

    static void Serve(State& state) {
        LiveCaptureThread alive;
        std::unique_lock lock(state.mutex);
        while (true) {
            state.changed.wait(lock, [&] { return state.quit || state.call; });
            if (!state.call) {
                break;
            }
            Call call = std::move(state.call);
            state.call = nullptr;
            lock.unlock();
            bool result = false;
            try {
                result = call(state);
            } catch (const cv::Exception&) {
                result = false;  // a source a backend refuses is no camera
            }
            lock.lock();
            state.result = result;
            state.done = true;
            state.changed.notify_all();
        }
        lock.unlock();
        Close(state);
    }

    std::shared_ptr<State> m_state;
    std::chrono::milliseconds m_grabLimit;
};

}  // namespace

CameraOpener BoundedOpener(CameraOpener open, std::chrono::milliseconds openLimit,
                           std::chrono::milliseconds grabLimit) {
    return [open = std::move(open), openLimit, grabLimit](
               int index, const std::string& source) -> std::unique_ptr<CameraSource> {
        auto camera = std::make_unique<BoundedCamera>(grabLimit);
        if (!camera->Open(open, index, source, openLimit)) {
            return nullptr;
        }
        return camera;
    };
}
