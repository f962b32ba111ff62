#include <algorithm>
#include <cmath>

#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include "support/FrameFolder.h"
#include "support/VideoChecks.h"
#include "video/VideoAssembly.h"

namespace {

// The mean luma of each frame of a Motion JPEG video, decoded as the frame files are.
QList<double> LumasIn(const QString& path) {
    QList<double> lumas;
    for (const QByteArray& jpeg : Packets(path)) {
        lumas << LumaOf(
            cv::imdecode(std::vector<uchar>(jpeg.begin(), jpeg.end()), cv::IMREAD_COLOR));
    }
    return lumas;
}

// RMS of the frame-to-frame changes of `lumas` that `truth` does not have.
double Jitter(const QList<double>& lumas, const QList<double>& truth) {
    double sum = 0;
    for (qsizetype i = 1; i < lumas.size(); ++i) {
        const double step = (lumas[i] - truth[i]) - (lumas[i - 1] - truth[i - 1]);
        sum += step * step;
    }
    return std::sqrt(sum / double(lumas.size() - 1));
}

}  // namespace

class DeflickerTest : public QObject {
    Q_OBJECT
private slots:
    // Brightness flickering by a few per cent around a slow ramp (a sunrise), also with one frame
    // the camera got wrong: the video follows the ramp, without the flicker, and the wrong frame
    // pulls none of its neighbours. Progress runs through both passes.
    void deflickerKeepsTheRampWithoutTheFlicker_data() {
        QTest::addColumn<int>("darkFrame");     // at a third of its brightness; -1 for none
        QTest::addColumn<bool>("progressive");  // decoded, corrected and encoded by the writer
        QTest::newRow("flicker on a ramp") << -1 << false;
        QTest::newRow("one frame at a third") << 20 << false;
        QTest::newRow("first frame at a third") << 0 << false;
        QTest::newRow("progressive frames, one at a third") << 20 << true;
    }

    void deflickerKeepsTheRampWithoutTheFlicker() {
        QFETCH(int, darkFrame);
        QFETCH(bool, progressive);
        constexpr int kFrames = 40;
        constexpr double kFlicker[] = {0.04, -0.03, 0.01, -0.04, 0.03, -0.01};
        constexpr double kTolerance = 1.5;  // luma levels; the flicker moves frames by up to 6
        FrameFolder frames;
        QList<double> truth, measured;
        for (int i = 0; i < kFrames; ++i) {
            const double ramp = 0.8 + 0.4 * i / (kFrames - 1);
            truth << LumaOf(Scene()) * ramp;
            frames.WriteLit(10001 + i, ramp * (1 + kFlicker[i % std::size(kFlicker)]) /
                                           (i == darkFrame ? 3 : 1));
            if (progressive) {
                frames.Damage(10001 + i, "progressive");
            }
            measured << LumaOf(cv::imread(frames.FramePath(10001 + i).toStdString()));
        }
        VideoRange range{frames.Dir(), 0, kFrames, 1, {}, {}};
        range.options.deflicker = true;
        QList<int> positions;
        {
            VideoAssembly assembly(range);
            QVERIFY(!assembly.ProbeFirstFrame());
            QVERIFY(!assembly.Open(AvailableCompressors().front()));
            const AssemblyResult result = assembly.Run([&](const VideoAssembly::Pass& pass) {
                positions << pass.position;
                return true;
            });
            QCOMPARE(result.end, AssemblyEnd::Complete);
        }
        QCOMPARE(positions.size(), 2 * kFrames);
        QVERIFY(std::is_sorted(positions.begin(), positions.end()));
        QCOMPARE(positions.back(), VideoAssembly::kProgressRange);
        const QList<double> lumas = LumasIn(frames.VideoPath());
        QCOMPARE(lumas.size(), kFrames);
        for (int i = 0; i < kFrames; ++i) {
            QVERIFY2(
                std::abs(lumas[i] - truth[i]) < kTolerance,
                qPrintable(QString("frame %1: %2, not %3").arg(i).arg(lumas[i]).arg(truth[i])));
        }
        QVERIFY(Jitter(lumas, truth) < 0.2 * Jitter(measured, truth));
    }
};

QTEST_MAIN(DeflickerTest)
#include "test_deflicker.moc"
