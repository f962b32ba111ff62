#pragma once

#include <QtTest>
#include <chrono>
#include <opencv2/imgcodecs.hpp>

#include "capture/CaptureLoop.h"
#include "support/DialogBench.h"

// A main dialog whose capture runs the tests start and stop as the Start/Stop button does, and
// how they tell the synthetic camera's frames apart in the files saved.

inline const QString kSourceEnded =
    QString::fromStdString(CaptureEndMessage(CaptureEnd::SourceEnded));
inline const QString kSourceLost =
    QString::fromStdString(CaptureEndMessage(CaptureEnd::SourceLost));

// How many pixels of `area` are more than `tolerance` away from `colour` in some channel.
inline int PixelsAway(const cv::Mat& image, const cv::Rect& area, const cv::Scalar& colour,
                      int tolerance) {
    int away = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            const cv::Vec3b& pixel = image.at<cv::Vec3b>(y, x);
            for (int channel = 0; channel < 3; ++channel) {
                if (std::abs(pixel[channel] - colour[channel]) > tolerance) {
                    ++away;
                    break;
                }
            }
        }
    }
    return away;
}

// True when the JPEG at `path` shows frame `index` of the synthetic camera (its centre, where no
// timestamp is drawn).
inline bool ShowsFrame(const QString& path, int index) {
    const cv::Mat image = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    if (image.empty()) {
        return false;
    }
    const cv::Rect centre(image.cols / 2 - 4, image.rows / 2 - 4, 8, 8);
    return PixelsAway(image, centre, SyntheticCamera::FrameColour(index), 10) == 0;
}

// A dialog whose runs are started and stopped as the Start/Stop button does.
struct LoopBench : DialogBench {
    explicit LoopBench(cv::Size frameSize = {320, 240}) : DialogBench(QByteArray(), frameSize) {}

    void Start(std::vector<int> agreedFrames = {}) {
        dlg->Session().m_capture->m_frameCounter = 10000;
        dlg->Session().m_capture->m_running = true;
        QVERIFY(dlg->Session().StartCaptureThread(std::move(agreedFrames)));
    }
    void Stop() {
        dlg->Session().m_capture->m_running = false;
        dlg->Session().StopCaptureThread();
        QVERIFY(dlg->Session().WaitForCaptureThread(10000));
    }
    // A whole run that ends when the camera fails after `grabs` grabs, each pass 0.25 s long.
    void RunToCameraFailure(int grabs, float delay = 0.5f) {
        using namespace std::chrono_literals;
        clock.SetSleepAdvance(250ms);
        camera->FailGrabsAfter(grabs);
        dlg->Session().m_capture->m_captureDelay = delay;
        Start();
        QVERIFY(dlg->Session().WaitForCaptureThread(10000));
        Stop();
        QVERIFY(answerer.WaitForMessages(1));  // the end of the source is told
    }
    // Waits until the loop has made `passes` more grabs. After two, a whole pass has seen what
    // was set before the call; after three, that pass has also finished saving.
    bool WaitForPasses(int passes) {
        const int target = camera->GrabCount() + passes;
        return QTest::qWaitFor([&] { return camera->GrabCount() >= target; }, 10000);
    }
    // Waits until frame `number` has been saved and its pass is over.
    bool WaitForFrame(int number) {
        return QTest::qWaitFor([&] { return dlg->Session().GetFrameCounter() >= number; }, 10000) &&
               WaitForPasses(2);
    }
};
