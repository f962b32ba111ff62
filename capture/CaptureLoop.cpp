#include "capture/CaptureLoop.h"

#include <cstdio>
#include <ctime>
#include <opencv2/imgproc.hpp>

#include "app/VornDlg.h"
#include "frames/FrameFile.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/PreviewWindow.h"
#include "res/Strings.h"

namespace {

constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 480;

// The run's progress log in the current folder, emptied at the start of each run. A log that
// cannot be opened is simply not written.
class ProgressLog {
public:
    ProgressLog() : m_file(std::fopen("error_log.txt", "wt")) {}
    ~ProgressLog() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    ProgressLog(const ProgressLog&) = delete;
    ProgressLog& operator=(const ProgressLog&) = delete;

    void Write(const char* text) {
        if (m_file != nullptr) {
            std::fputs(text, m_file);
            std::fflush(m_file);
        }
    }

private:
    std::FILE* m_file;
};

// The frame scaled to the preview size, or a black one-channel picture when there is none.
void MakePreview(const cv::Mat& frame, cv::Mat& preview) {
    if (frame.empty()) {
        preview = cv::Mat::zeros(kPreviewHeight, kPreviewWidth, CV_8UC1);
    } else {
        cv::resize(frame, preview, cv::Size(kPreviewWidth, kPreviewHeight), 0, 0, cv::INTER_LINEAR);
    }
}

// One run of the loop, from the opened camera to the end of the last pass.
class CaptureRun {
public:
    CaptureRun(CVornDlg& dlg, CameraSource& camera) : m_dlg(dlg), m_camera(camera) {}

    void Loop(std::int64_t lastCounter);

private:
    void SaveNextFrame(cv::Mat& frame);

    CVornDlg& m_dlg;
    CameraSource& m_camera;
    float m_timeAccount = 0.0f;
    bool m_toldSaveFailure = false;
};

void CaptureRun::Loop(std::int64_t lastCounter) {
    Clock& clock = m_dlg.GetClock();
    cv::Mat frame;
    cv::Mat preview;
    if (!m_dlg.m_running) {
        return;
    }
    do {
        const float elapsed = SecondsSince(clock, lastCounter);
        if (!m_dlg.m_paused) {
            m_timeAccount += elapsed;
        }
        if (!m_camera.Grab()) {
            break;
        }
        m_camera.Retrieve(frame);
        if (!frame.empty() && m_dlg.m_captureDelay < m_timeAccount) {
            SaveNextFrame(frame);
        }
        MakePreview(frame, preview);
        ShowImage(kPreviewWindowName, preview);
        if (WaitKey(10) >= 0) {
            break;
        }
        clock.Sleep(m_dlg.m_captureDelay > 1000.0f ? 1000 : 10);
    } while (m_dlg.m_running);
}

void CaptureRun::SaveNextFrame(cv::Mat& frame) {
    m_dlg.IncrementFrameCounter();
    const std::string frameDir = m_dlg.GetFrameDir();
    const std::string name = FrameFileName(m_dlg.GetFrameCounter());
    if (m_dlg.m_showTimestamp) {
        DrawTimestamp(frame);
    }
    if (SaveFrame(frameDir + name, frame) != FrameSave::Saved && !m_toldSaveFailure) {
        // Told once per run and without stopping it: the folder may come back, or be changed.
        m_toldSaveFailure = true;
        PostMessageBox(QStringLiteral("Could not save the frame %1 in %2! The capture goes on; "
                                      "please check that the folder exists and can be written.")
                           .arg(QString::fromStdString(name),
                                QString::fromStdString(frameDir.empty() ? "./" : frameDir)));
    }
    m_timeAccount -= m_dlg.m_captureDelay;
}

}  // namespace

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return {};
    }
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S", &local);
    return std::string(text, length);
}

void DrawTimestamp(cv::Mat& frame) {
    cv::putText(frame, LocalTimeText(), cv::Point(10, 60), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                cv::Scalar(255, 255, 255, 0), 1, cv::LINE_8);
}

unsigned CaptureThreadProc(void* param) {
    CVornDlg& dlg = *static_cast<CVornDlg*>(param);
    ProgressLog log;
    log.Write("Acquiring capture device...");
    std::unique_ptr<CameraSource> camera = dlg.OpenCamera(0);
    log.Write("successful\n");
    const std::int64_t lastCounter = dlg.GetClock().Counter();
    if (!camera) {
        ShowMessageBox(kNoCameraMessage);
        return 0;
    }
    NamedWindow(kPreviewWindowName);
    SetCaptureSize(*camera, dlg.m_resolution);
    CaptureRun(dlg, *camera).Loop(lastCounter);
    log.Write("Attempting to release capture...");
    camera.reset();
    log.Write("successful\n");
    log.Write("Attempting to close window...");
    DestroyWindow(kPreviewWindowName);
    log.Write("successful\n");
    return 0;
}
