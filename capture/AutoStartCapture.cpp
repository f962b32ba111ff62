#include <QCoreApplication>
#include <opencv2/core/mat.hpp>

#include "app/VornDlg.h"
#include "capture/CaptureLoop.h"
#include "frames/FrameFile.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/PreviewWindow.h"
#include "res/Resource.h"
#include "res/Strings.h"

namespace {

// The camera must have run this long before its frame is taken: cameras adjust exposure and
// white balance in their first seconds.
constexpr float kWarmUpSeconds = 5.0f;

}  // namespace

void CVornDlg::OnTimer(int /*id*/) {
    // The only timer of the dialog; killed first so that the run below, which handles events while
    // it waits for keys, is never started twice.
    m_timers.KillTimer(kAutoStartTimer);
    RunAutoStartCapture();
}

void CVornDlg::RunAutoStartCapture() {
    SetFrameDir(WithTrailingSeparator(GetFrameDir()));
    EnableDlgItem(IDC_START_STOP, false);
    EnableDlgItem(IDC_MAKE_VIDEO, false);
    std::unique_ptr<CameraSource> camera = OpenCamera(m_cameraIndex);
    if (camera) {
        SetCaptureSize(*camera, m_resolution);
    }
    Clock& clock = GetClock();
    std::int64_t lastCounter = clock.Counter();
    if (!camera) {
        // Nothing taken, so nothing counted.
        ShowMessageBox(kNoCameraMessage);
    } else {
        NamedWindow(kPreviewWindowName);
        float runningTime = SecondsSince(clock, lastCounter);
        bool saved = false;
        cv::Mat frame;
        while (camera->Grab()) {
            camera->Retrieve(frame);
            if (!frame.empty() && runningTime > kWarmUpSeconds) {
                ++m_capture->m_frameCounter;
                SaveFrame(GetFrameDir() + "./" + FrameFileName(GetFrameCounter()), frame);
                saved = true;
            }
            ShowImage(kPreviewWindowName, frame);
            if (WaitKey(10) >= 0) {
                break;
            }
            clock.Sleep(10);
            if (saved) {
                break;
            }
            runningTime += SecondsSince(clock, lastCounter);
        }
        camera.reset();
        DestroyWindow(kPreviewWindowName);
        // Counted also when the run ended before a frame was saved.
        CountAutoStartFrame();
    }
    // Ends every running event loop, the dialog's modal one included, and so the program.
    QCoreApplication::exit(0);
}
