#pragma once

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "frames/CaptureTime.h"

// Frame folders for the video tests: frames painted in colours that survive compression, spoilt
// on demand, and the frame numbers read back from a video by those colours.

inline const QString kNoFrameTaken =
    QStringLiteral("No video created: the range holds no frame to take.");
inline const QByteArray kEarlierVideo = "an earlier video, kept";

// Well apart from one another, so that each survives compression recognisably.
inline const cv::Scalar kPalette[] = {
    {0, 0, 255},   {0, 255, 0},     {255, 0, 0}, {0, 255, 255},   {255, 0, 255},
    {255, 255, 0}, {255, 255, 255}, {0, 0, 0},   {128, 128, 255}, {0, 128, 128},
};
inline constexpr int kPaletteSize = std::size(kPalette);

// Gradients and colour, so that a picture's brightness is measured over more than one value.
inline cv::Mat Scene() {
    cv::Mat scene(120, 160, CV_8UC3);
    for (int y = 0; y < scene.rows; ++y) {
        for (int x = 0; x < scene.cols; ++x) {
            scene.at<cv::Vec3b>(y, x) = {uchar(60 + x / 2), uchar(70 + y / 2), uchar(90)};
        }
    }
    return scene;
}

// The mean coded luma of a BGR picture, as JPEG's Y' holds it.
inline double LumaOf(const cv::Mat& bgr) {
    const cv::Scalar mean = cv::mean(bgr);
    return 0.114 * mean[0] + 0.587 * mean[1] + 0.299 * mean[2];
}

// Frame files in a temporary folder, each frame number painted in its own colour.
class FrameFolder {
public:
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    QString VideoPath() const { return m_dir.filePath("output.avi"); }

    void Write(int number, cv::Size size = {160, 120}) const {
        const cv::Mat frame(size, CV_8UC3, kPalette[(number - 10001) % kPaletteSize]);
        QVERIFY(cv::imwrite(Dir() + "pic_" + std::to_string(number) + ".jpg", frame));
    }
    void WriteAll(const QList<int>& numbers, cv::Size size = {160, 120}) const {
        for (int number : numbers) {
            Write(number, size);
        }
    }
    // The scene at `brightness` times its own light.
    void WriteLit(int number, double brightness) const {
        cv::Mat lit;
        Scene().convertTo(lit, CV_8UC3, brightness);
        QVERIFY(cv::imwrite(FramePath(number).toStdString(), lit, {cv::IMWRITE_JPEG_QUALITY, 95}));
    }
    QString FramePath(int number) const {
        return m_dir.filePath(QString("pic_%1.jpg").arg(number));
    }
    QByteArray Bytes(int number) const {
        QFile file(FramePath(number));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Spoils a frame file the way `how` says: "cut short", "empty file", "not a picture", a
    // "bad quantisation table" length, a "stray marker" in the picture data, a "pipe" or a file
    // "larger than 256 MB"; or takes it away ("missing"), repeats the frame before it, or paints
    // it "grey N"; or puts EXIF "with its capture time" in.
    void Damage(int number, const QString& how) const {
        QByteArray whole = Bytes(number);
        QFile file(FramePath(number));
        if (how == "missing") {
            QVERIFY(file.remove());
            return;
        }
        if (how == "repeat of the frame before") {
            QVERIFY(file.remove() && QFile::copy(FramePath(number - 1), FramePath(number)));
            return;
        }
        if (how.startsWith("grey ")) {
            const double level = how.mid(5).toDouble();
            QVERIFY(cv::imwrite(file.fileName().toStdString(),
                                cv::Mat(120, 160, CV_8UC3, cv::Scalar::all(level))));
            return;
        }
        if (how == "pipe") {
            QVERIFY(file.remove() && ::mkfifo(QFile::encodeName(file.fileName()), 0600) == 0);
            return;
        }
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (how == "cut short") {
            file.write(whole.left(whole.size() / 2));
        } else if (how == "cut short, ending in an end marker") {
            file.write(whole.left((whole.indexOf("\xFF\xDA") + whole.size()) / 2) + "\xFF\xD9");
        } else if (how == "declaring 16000x16000") {
            const qsizetype frameHeader = whole.indexOf("\xFF\xC0");
            whole.replace(frameHeader + 5, 4, QByteArray("\x3E\x80\x3E\x80", 4));
            file.write(whole);
        } else if (how == "not a picture") {
            file.write("frame 10004 was lost");
        } else if (how == "bad quantisation table") {
            ++whole[whole.indexOf("\xFF\xDB") + 3];
            file.write(whole);
        } else if (how == "stray marker") {
            const qsizetype scan = whole.indexOf("\xFF\xDA");
            whole.replace((scan + whole.size()) / 2, 2, "\xFF\xD8");
            file.write(whole);
        } else if (how == "with its capture time") {
            std::vector<uchar> bytes(whole.begin(), whole.end());
            QVERIFY(AddExif(bytes, {LocalCaptureTime(1774778403003 + number), "Vorn", "Test"}));
            file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        } else if (how == "padded") {
            file.write(whole + QByteArray(1000, '\0'));
        } else if (how == "progressive") {
            std::vector<uchar> bytes;
            const cv::Mat picture =
                cv::imdecode(std::vector<uchar>(whole.begin(), whole.end()), cv::IMREAD_COLOR);
            QVERIFY(cv::imencode(".jpg", picture, bytes, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}));
            file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        } else if (how.startsWith("larger than")) {
            QVERIFY(file.resize(qint64{257} << 20));  // sparse: no disk is used
        }
    }
    // An output.avi from an earlier run, which a run that makes no video must leave as it was.
    void PlaceEarlierVideo() const {
        QFile file(VideoPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kEarlierVideo);
    }
    bool EarlierVideoKept() const {
        QFile file(VideoPath());
        return file.open(QIODevice::ReadOnly) && file.readAll() == kEarlierVideo;
    }
    // Temporary files left behind (hidden names).
    QStringList Leftovers() const {
        return QDir(m_dir.path()).entryList({".*"}, QDir::Files | QDir::Hidden);
    }

private:
    QTemporaryDir m_dir;
};

// Writes a small file at `path` last changed `hoursOld` hours ago.
inline void PlaceAged(const QString& path, int hoursOld) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("part") == 4 && file.flush());
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(qint64{-3600} * hoursOld),
                             QFileDevice::FileModificationTime));
}

inline QList<int> Range(int first, int last) {
    QList<int> numbers;
    for (int number = first; number <= last; ++number) {
        numbers << number;
    }
    return numbers;
}

// The frame number whose colour is nearest to `colour`.
inline int FrameNumberOf(const cv::Scalar& colour) {
    int nearest = 0;
    for (int i = 1; i < kPaletteSize; ++i) {
        if (cv::norm(colour - kPalette[i]) < cv::norm(colour - kPalette[nearest])) {
            nearest = i;
        }
    }
    return nearest + 10001;
}

// The frame numbers of the frames in the video, told by their colours.
inline QList<int> FramesIn(const QString& path) {
    QList<int> numbers;
    cv::VideoCapture video(path.toStdString(), cv::CAP_FFMPEG);
    cv::Mat frame;
    while (video.read(frame)) {
        numbers << FrameNumberOf(cv::mean(frame));
    }
    return numbers;
}
