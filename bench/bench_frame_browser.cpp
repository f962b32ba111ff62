// What the frame browser costs on a season of frames:
// - opening 100,000 frames (small ones, with their capture times in EXIF, a frame every 30 s over
//   35 days): from the model's start to its catalog read (off the UI thread), then the view's
//   layout of every tile and heading;
// - scrolling through them: the UI thread's time for each of 200 jumps down the scroll bar
//   (each asking for the thumbnails in sight), and the time until the thumbnails at the last
//   stop are in;
// - one thumbnail of a camera-like 1080p frame decoded at an eighth of its size against a full
//   decode.
// The folder is made in the system's temporary folder ($TMPDIR, else /tmp).
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

#include "frames/CaptureTime.h"
#include "frames/FrameFile.h"
#include "panel/FramesModel.h"
#include "platform/ImageCodec.h"
#include "widgets/GroupedIconView.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 100000;
constexpr int kScrollSteps = 200;
constexpr int kDecodeRounds = 30;
constexpr int kSettledRounds = 50;
constexpr std::int64_t kFirstFrameMs = 1774785600000;  // 2026-03-29
constexpr std::int64_t kFrameEveryMs = 30000;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void MakeFrames(const std::string& dir) {
    std::vector<uchar> plain;
    EncodeImage(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar(90, 120, 150)), plain);
    for (int i = 0; i < kFrames; ++i) {
        std::vector<uchar> bytes = plain;
        AddExif(bytes, {LocalCaptureTime(kFirstFrameMs + i * kFrameEveryMs), "", ""});
        std::ofstream(FramePath(dir, kNoFrames + 1 + i), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
}

// Every thumbnail of the rows in sight is in.
bool ThumbnailsInSight(const GroupedIconView& view, const FramesModel& model) {
    const auto [first, last] = view.RowsInSight();
    for (int row = std::max(first, 0); row <= last; ++row) {
        const QModelIndex index = model.index(row, 0);
        if ((model.flags(index) & Qt::ItemIsSelectable) &&
            index.data(Qt::DecorationRole).value<QImage>().isNull()) {
            return false;
        }
    }
    return first >= 0;
}

void BenchBrowser(const std::string& dir) {
    const DayRules rules;
    {
        // Into the page cache, as a folder the camera just wrote.
        FramesModel warm(dir, rules);
        while (!warm.IsLoaded()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    GroupedIconView view(QSize(160, 90));
    view.resize(1000, 700);
    view.show();
    Clock::time_point start = Clock::now();
    FramesModel model(dir, rules);
    while (!model.IsLoaded()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double catalog = MsSince(start);
    start = Clock::now();
    QObject::connect(&view, &GroupedIconView::RowsInSightChanged, &model,
                     &FramesModel::SetRowsInSight);
    view.setModel(&model);
    // The batched layout runs in steps between events; it is done when the scroll bar's range
    // stops growing.
    QScrollBar* bar = view.verticalScrollBar();
    double longestStall = 0;
    double layout = 0;
    for (int unchanged = 0, range = -1; unchanged < kSettledRounds;) {
        const Clock::time_point round = Clock::now();
        QApplication::processEvents();
        longestStall = std::max(longestStall, MsSince(round));
        unchanged = bar->maximum() == range ? unchanged + 1 : 0;
        if (unchanged == 0) {
            range = bar->maximum();
            layout = MsSince(start);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    std::vector<double> steps;
    for (int step = 1; step <= kScrollSteps; ++step) {
        const Clock::time_point stepStart = Clock::now();
        bar->setValue(
            static_cast<int>(static_cast<long long>(bar->maximum()) * step / kScrollSteps));
        view.viewport()->repaint();
        QApplication::processEvents();
        steps.push_back(MsSince(stepStart));
    }
    start = Clock::now();
    while (!ThumbnailsInSight(view, model) && MsSince(start) < 10000) {
        view.viewport()->repaint();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double settled = MsSince(start);
    std::printf("frame browser over %d frames in %d rows (page cache warm):\n", kFrames,
                model.rowCount());
    std::printf("  catalog read (off the UI thread)  %7.0f ms\n", catalog);
    std::printf("  layout of every row               %7.0f ms, in steps of %.1f ms at most\n",
                layout, longestStall);
    std::printf("  a jump down the scroll bar        %7.2f ms median, %.2f ms at most (%d jumps)\n",
                Median(steps), *std::max_element(steps.begin(), steps.end()), kScrollSteps);
    std::printf("  thumbnails in sight after the last %7.0f ms\n", settled);
}

// A sky-like gradient under sensor noise, which a camera's 1080p JPEG weighs about as much as.
std::vector<uchar> CameraLikeJpeg() {
    cv::Mat frame(1080, 1920, CV_8UC3);
    for (int y = 0; y < frame.rows; ++y) {
        const int shade = y * 255 / frame.rows;
        frame.row(y).setTo(cv::Scalar(255 - shade / 2, 160 - shade / 3, shade));
    }
    cv::Mat noise(frame.size(), CV_8UC3);
    cv::randu(noise, 0, 8);
    std::vector<uchar> bytes;
    EncodeImage(".jpg", frame + noise, bytes);
    return bytes;
}

double DecodeMs(const std::vector<uchar>& bytes, int scale) {
    std::vector<double> times;
    for (int round = 0; round < kDecodeRounds; ++round) {
        QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<qsizetype>(bytes.size()));
        QBuffer buffer(&data);
        const Clock::time_point start = Clock::now();
        QImageReader reader(&buffer);
        reader.setScaledSize(reader.size() / scale);
        if (reader.read().isNull()) {
            std::fprintf(stderr, "decoding failed\n");
        }
        times.push_back(MsSince(start));
    }
    return Median(times);
}

void BenchThumbnail() {
    const std::vector<uchar> bytes = CameraLikeJpeg();
    const double eighth = DecodeMs(bytes, 8);
    const double whole = DecodeMs(bytes, 1);
    std::printf("a 1080p frame of %zu KB, median of %d decodes:\n", bytes.size() / 1024,
                kDecodeRounds);
    std::printf("  at an eighth (240x135)            %7.2f ms\n", eighth);
    std::printf("  whole                             %7.2f ms (%.1fx)\n", whole, whole / eighth);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir frames;
    if (!frames.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const std::string dir = frames.path().toStdString() + "/";
    MakeFrames(dir);
    BenchBrowser(dir);
    BenchThumbnail();
    return 0;
}
