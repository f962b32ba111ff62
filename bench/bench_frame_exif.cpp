// What the capture time in every frame costs:
// - the save of a camera-like 1080p frame (noisy, about 350 KB) with its EXIF and file time
//   (encode, EXIF, atomic write) against the same save without them (encode, atomic write), the
//   two taken in turn so that the disk's moods fall on both alike; medians and their ratio;
// - reading the capture times of 100,000 small frames from the page cache (ReadFrameTimes), half
//   of them with EXIF and half without, against a stat of every file.
// The folders are made in the system's temporary folder ($TMPDIR, else /tmp).
#include <sys/stat.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "frames/CaptureTime.h"
#include "frames/FrameFile.h"
#include "platform/AtomicFile.h"
#include "platform/ImageCodec.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSaveRounds = 100;  // of each kind
constexpr int kTimedFrames = 100000;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A sky-like gradient under sensor noise, which a camera's 1080p JPEG weighs about as much as.
cv::Mat CameraLikeFrame() {
    const cv::Size size(1920, 1080);
    cv::Mat frame(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y) {
        const int shade = y * 255 / size.height;
        frame.row(y).setTo(cv::Scalar(255 - shade / 2, 160 - shade / 3, shade));
    }
    cv::Mat noise(size, CV_8UC3);
    cv::randu(noise, 0, 8);
    return frame + noise;
}

void BenchSave(const std::string& dir) {
    const cv::Mat frame = CameraLikeFrame();
    const FrameStamp stamp{LocalCaptureTime(1774785603003), "Logitech", "HD Pro Webcam C920"};
    const auto replace = [](int) { return true; };
    std::vector<double> with;
    std::vector<double> without;
    std::vector<uchar> bytes;
    for (int round = 0; round < kSaveRounds; ++round) {
        int number = kNoFrames + 1;
        Clock::time_point start = Clock::now();
        if (SaveFrameAtFirstFree(dir, frame, stamp, number, replace) != FrameSave::Saved) {
            std::fprintf(stderr, "saving failed\n");
            return;
        }
        with.push_back(MsSince(start));
        start = Clock::now();
        // A fresh buffer, as the save gets from the encoder.
        bytes = std::vector<uchar>();
        if (!EncodeImage(".jpg", frame, bytes) ||
            WriteFileAtomically(FramePath(dir, kNoFrames + 2), bytes.data(), bytes.size()) != 0) {
            std::fprintf(stderr, "saving failed\n");
            return;
        }
        without.push_back(MsSince(start));
    }
    // What the EXIF itself adds, apart from the disk's moods: building it and putting it in.
    std::vector<double> adding;
    for (int round = 0; round < kSaveRounds; ++round) {
        std::vector<uchar> encoded = bytes;
        const Clock::time_point start = Clock::now();
        AddExif(encoded, stamp);
        adding.push_back(MsSince(start));
    }
    const double a = Median(with);
    const double b = Median(without);
    std::printf("save of a 1080p frame of %zu KB, median of %d each, taken in turn:\n",
                bytes.size() / 1024, kSaveRounds);
    std::printf("  with EXIF and file time   %7.2f ms\n", a);
    std::printf("  without                   %7.2f ms\n", b);
    std::printf("  ratio                     %7.3f (%+.1f %%)\n", a / b, (a / b - 1.0) * 100.0);
    std::printf("  the EXIF alone            %7.3f ms (%.2f %% of a save)\n", Median(adding),
                Median(adding) / b * 100.0);
}

void BenchFrameTimes(const std::string& dir) {
    std::vector<uchar> plain;
    EncodeImage(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar(90, 120, 150)), plain);
    std::vector<uchar> stamped = plain;
    AddExif(stamped, {LocalCaptureTime(1774785603003), "", ""});
    std::vector<int> numbers;
    for (int i = 0; i < kTimedFrames; ++i) {
        const int number = kNoFrames + 1 + i;
        const std::vector<uchar>& bytes = i % 2 == 0 ? stamped : plain;
        std::ofstream(FramePath(dir, number), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        numbers.push_back(number);
    }
    ReadFrameTimes(dir, numbers);  // into the page cache
    Clock::time_point start = Clock::now();
    const FrameTimes times = ReadFrameTimes(dir, numbers);
    const double read = MsSince(start);
    start = Clock::now();
    int statted = 0;
    for (int number : numbers) {
        struct stat status {};
        statted += ::stat(FramePath(dir, number).c_str(), &status) == 0;
    }
    const double stats = MsSince(start);
    std::printf("capture times of %d frames from the page cache, half without EXIF:\n",
                kTimedFrames);
    std::printf(
        "  ReadFrameTimes            %7.0f ms (%zu frames, %d by file time; %zu bytes a "
        "frame kept)\n",
        read, times.frames.size(), times.fromFileTimes, sizeof(TimedFrame));
    std::printf("  a stat of every file      %7.0f ms (%d files)\n", stats, statted);
}

}  // namespace

int main() {
    QTemporaryDir saves;
    QTemporaryDir frames;
    if (!saves.isValid() || !frames.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    BenchSave(saves.path().toStdString() + "/");
    BenchFrameTimes(frames.path().toStdString() + "/");
    return 0;
}
