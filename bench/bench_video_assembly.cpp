// Frames per second of the video maker's assembly against FFmpeg making an AVI from the same
// frames, for 1,000 camera-like JPEG frames of 1280x720 and of 1920x1080:
// - the Motion JPEG copy path, with the preview on as in the dialog, against `ffmpeg -c:v copy`;
// - the re-encode path (Motion JPEG, every frame decoded and encoded) against
//   `ffmpeg -c:v mjpeg` at the same quality scale, as the command line runs it and with the
//   dialog's preview on.
// Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "frames/FrameFile.h"
#include "video/VideoAssembly.h"
#include "video/VideoWriter.h"
#include "widgets/PreviewWindow.h"

namespace {

constexpr int kFrames = 1000;
constexpr int kFirstNumber = kNoFrames + 1;
constexpr char kPreview[] = "Vorn";
// Every frame decoded and encoded, as frames of another size are.
const Compressor kReencodedMotionJpeg{"Motion JPEG, re-encoded", "MJPG", "mjpeg", false};

// Sky-like gradient, a moving object, a time stamp and sensor noise, so that the JPEGs weigh
// what camera frames weigh.
void WriteFrames(const std::string& dir, cv::Size size) {
    cv::Mat frame(size, CV_8UC3);
    cv::Mat noise(size, CV_8UC3);
    for (int index = 0; index < kFrames; ++index) {
        for (int y = 0; y < size.height; ++y) {
            const int shade = y * 255 / size.height;
            frame.row(y).setTo(cv::Scalar(255 - shade / 2, 160 - shade / 3, (shade + index) % 256));
        }
        cv::randu(noise, 0, 24);
        frame += noise;
        cv::circle(frame, cv::Point(index * size.width / kFrames, size.height / 2), size.height / 8,
                   cv::Scalar(20, 200, 20), cv::FILLED);
        cv::putText(frame, std::to_string(index), cv::Point(40, 80), cv::FONT_HERSHEY_SIMPLEX, 2.0,
                    cv::Scalar(255, 255, 255), 3);
        cv::imwrite(dir + FrameFileName(kFirstNumber + index), frame);
    }
}

// Wall-clock and processor seconds of one run; the processor time counts this process and the
// processes it waited for, so both sides are measured alike. Negative when the run failed.
struct Timing {
    double wall = -1.0;
    double cpu = 0.0;
};

// Reads every frame once, so that neither side pays for the disk and the other not.
void WarmUp(const std::string& dir) {
    std::vector<uchar> bytes;
    for (int index = 0; index < kFrames; ++index) {
        ReadFrameBytes(FramePath(dir, kFirstNumber + index), bytes);
    }
}

double CpuSeconds() {
    double seconds = 0.0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        seconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return seconds;
}

Timing Time(const std::function<bool()>& run) {
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (!run()) {
        return {};
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            CpuSeconds() - cpuStart};
}

// The video maker's assembly into output.avi. With `preview` it passes its preview to the preview
// window and looks for a key between frames as the dialog does; without, it runs as the command
// line does.
bool AssembleWithVideoMaker(const std::string& dir, const Compressor& compressor, bool preview) {
    VideoAssembly assembly(VideoRange{dir, 0, kFrames, 1, FrameRate{25, 1}, VideoOptions{}});
    if (assembly.ProbeFirstFrame() || assembly.Open(compressor)) {
        return false;
    }
    assembly.SetPreview(preview);
    const AssemblyResult result = assembly.Run([](const VideoAssembly::Pass& pass) {
        if (!pass.preview.empty()) {
            ShowImage(kPreview, pass.preview);
        }
        return (pass.preview.empty() ? PollKey() : WaitKey(1)) < 0;
    });
    return result.end == AssemblyEnd::Complete && result.framesWritten == kFrames;
}

bool AssembleWithFfmpeg(const std::string& dir, const QStringList& codec) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-y", "-framerate", "25", "-start_number",
                                       QString::number(kFirstNumber), "-i",
                                       QString::fromStdString(dir) + "pic_%d.jpg", "-frames:v",
                                       QString::number(kFrames)} +
                               codec + QStringList{QString::fromStdString(dir) + "ffmpeg.avi"});
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitCode() == 0;
}

// One line: both sides in frames per second and their ratio against the target, with the
// processor time each spent per frame (on a busy machine the wall clock favours more threads).
bool Report(const char* path, Timing ours, const char* theirsName, Timing theirs, double target) {
    if (ours.wall <= 0.0 || theirs.wall <= 0.0) {
        std::printf("  %-23s failed\n", path);
        return false;
    }
    const double ratio = theirs.wall / ours.wall;
    std::printf(
        "  %-10s video maker %7.1f fps (%5.1f ms cpu/frame)   %-17s %7.1f fps (%5.1f ms "
        "cpu/frame)   ratio %.2f (target %.1f) %s\n",
        path, kFrames / ours.wall, ours.cpu * 1000 / kFrames, theirsName, kFrames / theirs.wall,
        theirs.cpu * 1000 / kFrames, ratio, target, ratio >= target ? "met" : "MISSED");
    std::fflush(stdout);
    return true;
}

bool BenchSize(cv::Size size) {
    QTemporaryDir temp;
    if (!temp.isValid()) {
        return false;
    }
    const std::string dir = temp.path().toStdString() + "/";
    std::printf("%d frames of %dx%d:\n", kFrames, size.width, size.height);
    std::fflush(stdout);
    WriteFrames(dir, size);
    WarmUp(dir);
    const Compressor& motionJpeg = AvailableCompressors().front();
    const Timing copy = Time([&] { return AssembleWithVideoMaker(dir, motionJpeg, true); });
    const Timing ffmpegCopy = Time([&] { return AssembleWithFfmpeg(dir, {"-c:v", "copy"}); });
    const bool copyOk = Report("copy, preview on", copy, "ffmpeg -c:v copy", ffmpegCopy, 0.5);
    const Timing ffmpegEncode = Time([&] {
        return AssembleWithFfmpeg(dir, {"-c:v", "mjpeg", "-q:v", "3"});
    });
    const Timing encode =
        Time([&] { return AssembleWithVideoMaker(dir, kReencodedMotionJpeg, false); });
    const bool encodeOk =
        Report("re-encode, command line", encode, "ffmpeg -c:v mjpeg", ffmpegEncode, 1.0);
    const Timing encodeShown =
        Time([&] { return AssembleWithVideoMaker(dir, kReencodedMotionJpeg, true); });
    Report("re-encode, preview on", encodeShown, "ffmpeg -c:v mjpeg", ffmpegEncode, 1.0);
    return copyOk && encodeOk;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    NamedWindow(kPreview);
    const bool ok = BenchSize({1280, 720}) && BenchSize({1920, 1080});
    DestroyWindow(kPreview);
    return ok ? 0 : 1;
}
