#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "capture/CameraSource.h"
#include "support/FakeCameraControls.h"

class ManualClock;

// A capture property the code under test set on a camera.
struct PropertySet {
    int property;
    double value;
    bool operator==(const PropertySet&) const = default;
};

// A camera that makes numbered frames: frame n (the n-th successful grab, from 0) is filled with
// FrameColour(n). Every member is safe to call from any thread, so a test can configure and read
// the camera while a capture thread uses it.
class SyntheticCamera final : public CameraSource {
public:
    explicit SyntheticCamera(cv::Size frameSize = {640, 480});

    bool Grab() override;
    // The frame of the last successful grab, in the camera's own buffer like a real camera's, so
    // the next retrieve overwrites it; false and empty before any grab, after a failed grab and
    // for a dropped frame.
    bool Retrieve(cv::Mat& frame) override;
    // Records the call; the camera takes every property.
    bool Set(int property, double value) override;

    // The colour (BGR) that fills frame `index`; neighbouring frames differ in every channel.
    static cv::Scalar FrameColour(int index);

    // Grabs fail once `grabs` grabs have succeeded; -1 makes them succeed again.
    void FailGrabsAfter(int grabs);
    // Makes the camera one that may come back after a failed grab, as a real camera does.
    void SetReopenable(bool reopenable) { m_reopenable = reopenable; }
    bool Reopenable() const override { return m_reopenable.load(); }
    // Makes the camera a video file that plays at `fps`.
    void SetFileFramesPerSecond(double fps) { m_fileFps = fps; }
    double FileFramesPerSecond() const override { return m_fileFps.load(); }
    // Retrieve gives no frame for frame `index`.
    void DropFrame(int index);
    // Every grab advances `clock` by `ms`, as a slow camera would take that long.
    void AdvanceClockOnGrab(ManualClock& clock, int ms);
    // Grabs wait from HoldGrabs until ReleaseGrabs, as in a camera that hangs for a while; a held
    // grab is counted by GrabCount only once it goes on.
    void HoldGrabs();
    void ReleaseGrabs();
    // How many grabs have been held so far.
    int GrabsHeld() const;

    // Makes the camera a Video4Linux one with these controls; without, it has none, as a file.
    void SetControls(const FakeCameraControls& controls);
    // Meter and lock the controls set with SetControls, if any.
    void Meter(const CameraLockChoice& choice) override;
    std::optional<std::string> Lock(const CameraLockChoice& choice) override;
    // GrabCount at each Lock call, in order.
    std::vector<int> LocksAtGrabs() const;
    // Makes the camera one that names its maker and model.
    void SetIdentity(const CameraIdentity& identity);
    CameraIdentity Identity() const override;

    // Calls of Grab, failed ones included.
    int GrabCount() const { return m_grabCalls.load(); }
    // The Set calls, in order.
    std::vector<PropertySet> PropertySets() const;
    // How many cameras made by ShareCamera are open on this one now, and the most ever at once.
    int SharesOpen() const { return m_sharesOpen.load(); }
    int MostSharesOpen() const { return m_mostSharesOpen.load(); }
    // Called by those cameras.
    void ShareOpened();
    void ShareClosed() { --m_sharesOpen; }

private:
    void PassHold();

    std::atomic<int> m_grabCalls{0};
    std::atomic<bool> m_reopenable{false};
    std::atomic<int> m_sharesOpen{0};
    std::atomic<int> m_mostSharesOpen{0};

    mutable std::mutex m_holdMutex;  // guards the hold, apart from m_mutex so reads go on meanwhile
    std::condition_variable m_holdReleased;
    bool m_holding = false;
    int m_grabsHeld = 0;

    mutable std::mutex m_mutex;  // guards everything below
    cv::Mat m_buffer;
    int m_framesGrabbed = 0;
    int m_currentFrame = -1;  // -1: no frame grabbed
    int m_failAfter = -1;     // -1: never fail
    std::set<int> m_droppedFrames;
    ManualClock* m_clock = nullptr;
    std::atomic<double> m_fileFps{0.0};
    int m_grabMs = 0;
    std::vector<PropertySet> m_propertySets;
    // A copy of the controls set with SetControls, or null; records a lock's grab count.
    std::unique_ptr<FakeCameraControls> Controls(bool locking);

    std::unique_ptr<FakeCameraControls> m_controls;
    CameraIdentity m_identity;
    std::vector<int> m_locksAt;
};

// What a camera opener was asked to open.
struct OpenRequest {
    int index;
    std::string source;
    bool operator==(const OpenRequest&) const = default;
};

// Makes CameraOpeners that open cameras with a factory and record what they were asked for.
// Safe to call from any thread; the openers it makes may outlive it.
class RecordingOpener {
public:
    using Factory = std::function<std::unique_ptr<CameraSource>()>;

    explicit RecordingOpener(Factory factory);

    CameraOpener Opener() const;
    // Every request made so far, in order.
    std::vector<OpenRequest> Requests() const;

private:
    struct Log {
        Factory factory;
        std::mutex mutex;
        std::vector<OpenRequest> requests;  // guarded by mutex
    };

    std::shared_ptr<Log> m_log;
};

// A factory whose cameras all forward to `camera`, so that the test can still read it after the
// code under test has closed what it opened.
RecordingOpener::Factory ShareCamera(std::shared_ptr<SyntheticCamera> camera);

// A factory that finds no camera.
RecordingOpener::Factory NoCamera();
