// How long ShowImage keeps a capture thread busy with 640x480 frames at camera rate, while the UI
// thread paints. Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include <QApplication>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <opencv2/core.hpp>

#include "widgets/PreviewWindow.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    constexpr int kFrames = 300;
    constexpr auto kFramePeriod = std::chrono::microseconds(33'333);
    NamedWindow("Vorn");

    std::atomic<bool> done = false;
    std::chrono::nanoseconds busy{0};
    std::thread capture([&] {
        cv::Mat frame(480, 640, CV_8UC3);
        for (int index = 0; index < kFrames; ++index) {
            frame.setTo(cv::Scalar(index % 256, 128, 255 - index % 256));
            const auto start = std::chrono::steady_clock::now();
            ShowImage("Vorn", frame);
            const auto end = std::chrono::steady_clock::now();
            busy += end - start;
            std::this_thread::sleep_until(start + kFramePeriod);
        }
        done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    while (!done) {
        WaitKey(5);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    capture.join();
    DestroyWindow("Vorn");

    const double perFrameMs = std::chrono::duration<double, std::milli>(busy).count() / kFrames;
    std::printf(
        "ShowImage 640x480: %.3f ms per frame; capture of %d frames ran at %.1f fps in %.2f s\n",
        perFrameMs, kFrames, kFrames / elapsed.count(), elapsed.count());
    return 0;
}
