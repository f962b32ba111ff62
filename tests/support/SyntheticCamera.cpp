#include "support/SyntheticCamera.h"

#include "cameralock/CameraLock.h"
#include "support/ManualClock.h"

SyntheticCamera::SyntheticCamera(cv::Size frameSize) : m_buffer(frameSize, CV_8UC3) {}

bool SyntheticCamera::Grab() {
    PassHold();
    ++m_grabCalls;
    std::lock_guard lock(m_mutex);
    if (m_clock) {
        m_clock->Advance(std::chrono::milliseconds(m_grabMs));
    }
    if (m_failAfter >= 0 && m_framesGrabbed >= m_failAfter) {
        m_currentFrame = -1;
        return false;
    }
    m_currentFrame = m_framesGrabbed++;
    return true;
}

bool SyntheticCamera::Retrieve(cv::Mat& frame) {
    std::lock_guard lock(m_mutex);
    if (m_currentFrame < 0 || m_droppedFrames.contains(m_currentFrame)) {
        frame.release();
        return false;
    }
    m_buffer.setTo(FrameColour(m_currentFrame));
    frame = m_buffer;
    return true;
}

bool SyntheticCamera::Set(int property, double value) {
    std::lock_guard lock(m_mutex);
    m_propertySets.push_back({property, value});
    return true;
}

cv::Scalar SyntheticCamera::FrameColour(int index) {
    // Steps far apart survive lossy compression; odd steps repeat only after 256 frames.
    return cv::Scalar((index * 97) % 256, (index * 59 + 85) % 256, (index * 37 + 170) % 256);
}

void SyntheticCamera::FailGrabsAfter(int grabs) {
    std::lock_guard lock(m_mutex);
    m_failAfter = grabs;
}

void SyntheticCamera::DropFrame(int index) {
    std::lock_guard lock(m_mutex);
    m_droppedFrames.insert(index);
}

void SyntheticCamera::AdvanceClockOnGrab(ManualClock& clock, int ms) {
    std::lock_guard lock(m_mutex);
    m_clock = &clock;
    m_grabMs = ms;
}

void SyntheticCamera::HoldGrabs() {
    std::lock_guard lock(m_holdMutex);
    m_holding = true;
}

void SyntheticCamera::ReleaseGrabs() {
    {
        std::lock_guard lock(m_holdMutex);
        m_holding = false;
    }
    m_holdReleased.notify_all();
}

int SyntheticCamera::GrabsHeld() const {
    std::lock_guard lock(m_holdMutex);
    return m_grabsHeld;
}

void SyntheticCamera::PassHold() {
    std::unique_lock lock(m_holdMutex);
    m_grabsHeld += m_holding ? 1 : 0;
    m_holdReleased.wait(lock, [this] { return !m_holding; });
}

void SyntheticCamera::ShareOpened() {
    const int open = ++m_sharesOpen;
    int most = m_mostSharesOpen;
    while (open > most && !m_mostSharesOpen.compare_exchange_weak(most, open)) {
    }
}

void SyntheticCamera::SetControls(const FakeCameraControls& controls) {
    std::lock_guard lock(m_mutex);
    m_controls = std::make_unique<FakeCameraControls>(controls);
}

void SyntheticCamera::SetIdentity(const CameraIdentity& identity) {
    std::lock_guard lock(m_mutex);
    m_identity = identity;
}

CameraIdentity SyntheticCamera::Identity() const {
    std::lock_guard lock(m_mutex);
    return m_identity;
}

void SyntheticCamera::Meter(const CameraLockChoice& choice) {
    if (const auto controls = Controls(false)) {
        MeterCamera(*controls, choice);
    }
}

std::optional<std::string> SyntheticCamera::Lock(const CameraLockChoice& choice) {
    const auto controls = Controls(true);
    return controls ? LockCamera(*controls, choice) : std::nullopt;
}

std::unique_ptr<FakeCameraControls> SyntheticCamera::Controls(bool locking) {
    std::lock_guard lock(m_mutex);
    if (locking) {
        m_locksAt.push_back(m_grabCalls);
    }
    return m_controls ? std::make_unique<FakeCameraControls>(*m_controls) : nullptr;
}

std::vector<int> SyntheticCamera::LocksAtGrabs() const {
    std::lock_guard lock(m_mutex);
    return m_locksAt;
}

std::vector<PropertySet> SyntheticCamera::PropertySets() const {
    std::lock_guard lock(m_mutex);
    return m_propertySets;
}

RecordingOpener::RecordingOpener(Factory factory) : m_log(std::make_shared<Log>()) {
    m_log->factory = std::move(factory);
}

CameraOpener RecordingOpener::Opener() const {
    return [log = m_log](int index, const std::string& source) {
        {
            std::lock_guard lock(log->mutex);
            log->requests.push_back({index, source});
        }
        return log->factory();
    };
}

std::vector<OpenRequest> RecordingOpener::Requests() const {
    std::lock_guard lock(m_log->mutex);
    return m_log->requests;
}

namespace {

// A camera opened on a shared one: closing it leaves the shared camera alone.
class SharedCameraSource final : public CameraSource {
public:
    explicit SharedCameraSource(std::shared_ptr<SyntheticCamera> camera)
        : m_camera(std::move(camera)) {
        m_camera->ShareOpened();
    }
    ~SharedCameraSource() override { m_camera->ShareClosed(); }

    bool Grab() override { return m_camera->Grab(); }
    bool Retrieve(cv::Mat& frame) override { return m_camera->Retrieve(frame); }
    bool Set(int property, double value) override { return m_camera->Set(property, value); }
    bool Reopenable() const override { return m_camera->Reopenable(); }
    double FileFramesPerSecond() const override { return m_camera->FileFramesPerSecond(); }
    void Meter(const CameraLockChoice& choice) override { m_camera->Meter(choice); }
    std::optional<std::string> Lock(const CameraLockChoice& choice) override {
        return m_camera->Lock(choice);
    }
    CameraIdentity Identity() const override { return m_camera->Identity(); }

private:
    std::shared_ptr<SyntheticCamera> m_camera;
};

}  // namespace

RecordingOpener::Factory ShareCamera(std::shared_ptr<SyntheticCamera> camera) {
    return [camera]() -> std::unique_ptr<CameraSource> {
        return std::make_unique<SharedCameraSource>(camera);
    };
}

RecordingOpener::Factory NoCamera() {
    return [] { return std::unique_ptr<CameraSource>(); };
}
