// Frames per second of the video maker's assembly with Motion JPEG against FFmpeg making the same
// AVI from the same frames: 1,000 JPEG frames of 1280x720. The assembly runs pass by pass without
// its preview window and key wait, so both sides do the same work: read, decode, encode, write.
// Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "frames/FrameFile.h"
#include "video/MakingDlg.h"
#include "video/VideoFile.h"

namespace {

constexpr int kFrames = 1000;
constexpr int kFirstNumber = kNoFrames + 1;
const cv::Size kSize(1280, 720);

// A picture with some detail, so that the JPEGs weigh what camera frames weigh.
void WriteFrames(const std::string& dir) {
    cv::Mat frame(kSize, CV_8UC3);
    cv::Mat noise(kSize, CV_8UC3);
    for (int index = 0; index < kFrames; ++index) {
        for (int y = 0; y < kSize.height; ++y) {
            frame.row(y).setTo(cv::Scalar((y + index) % 256, 96, 255 - y % 256));
        }
        cv::randu(noise, 0, 24);
        frame += noise;
        cv::circle(frame, cv::Point(index % kSize.width, kSize.height / 2), 80,
                   cv::Scalar(20, 200, 20), cv::FILLED);
        cv::putText(frame, std::to_string(index), cv::Point(40, 80), cv::FONT_HERSHEY_SIMPLEX, 2.0,
                    cv::Scalar(255, 255, 255), 3);
        cv::imwrite(dir + FrameFileName(kFirstNumber + index), frame);
    }
}

double Seconds(std::chrono::steady_clock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

// The video maker's own passes into output.avi; seconds taken, or a negative value on failure.
double AssembleWithVideoMaker(const std::string& dir) {
    CMakingDlg dlg;
    dlg.m_frameDir = dir;
    dlg.m_startFrame = 0;
    dlg.m_endFrame = kFrames;
    dlg.m_gap = 1;
    dlg.m_fps = 25.0;
    dlg.SetCompressorChooser([](QWidget*) { return cv::VideoWriter::fourcc('M', 'J', 'P', 'G'); });
    const auto start = std::chrono::steady_clock::now();
    dlg.OnInitDialog();
    if (!dlg.m_writer.isOpened()) {
        return -1.0;
    }
    for (int index = dlg.m_startFrame; index < dlg.m_endFrame; ++index) {
        if (!dlg.AssembleFrame(index)) {
            return -1.0;
        }
    }
    dlg.m_writer.release();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// FFmpeg's own Motion JPEG AVI from the same frames, at the quality scale the video writer uses
// (it asks FFmpeg for a bit rate that only its floor of 3 limits); seconds taken, or a negative
// value.
double AssembleWithFfmpeg(const std::string& dir, const QString& output) {
    QProcess ffmpeg;
    const auto start = std::chrono::steady_clock::now();
    ffmpeg.start("ffmpeg",
                 {"-v", "error", "-y", "-framerate", "25", "-start_number",
                  QString::number(kFirstNumber), "-i", QString::fromStdString(dir) + "pic_%d.jpg",
                  "-frames:v", QString::number(kFrames), "-c:v", "mjpeg", "-q:v", "3", output});
    if (!ffmpeg.waitForFinished(-1) || ffmpeg.exitCode() != 0) {
        return -1.0;
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir temp;
    if (!temp.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const std::string dir = temp.path().toStdString() + "/";
    std::printf("Writing %d frames of %dx%d...\n", kFrames, kSize.width, kSize.height);
    WriteFrames(dir);

    const double ours = AssembleWithVideoMaker(dir);
    const QString ffmpegOutput = temp.filePath("ffmpeg.avi");
    const double theirs = AssembleWithFfmpeg(dir, ffmpegOutput);
    if (ours <= 0.0 || theirs <= 0.0) {
        std::fprintf(stderr, "assembly failed (video maker %.2f s, ffmpeg %.2f s)\n", ours, theirs);
        return 1;
    }
    const auto megabytes = [](const QString& path) { return QFileInfo(path).size() / 1e6; };
    std::printf("Video maker (Motion JPEG): %.1f fps, %.1f MB\n", kFrames / ours,
                megabytes(temp.filePath("output.avi")));
    std::printf("FFmpeg (mjpeg, -q:v 3):    %.1f fps, %.1f MB\n", kFrames / theirs,
                megabytes(ffmpegOutput));
    std::printf("Ratio video maker / FFmpeg: %.2f\n", theirs / ours);
    return 0;
}
