#include <QTest>

#include <atomic>
#include <thread>

#include <opencv2/core.hpp>

#include "widgets/PreviewWindow.h"

// A program without a QApplication (a command-line tool, a test) may still call the preview
// functions: they show nothing and find no key.
class PreviewWithoutApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void callsDoNothingAndFindNoKey() {
        const cv::Mat image(240, 320, CV_8UC3, cv::Scalar(0, 0, 255));
        std::atomic<int> workerKey = 0;
        std::thread worker([&] {
            NamedWindow("Vorn");
            ShowImage("Vorn", image);
            workerKey = WaitKey(5);
            DestroyWindow("Vorn");
        });
        worker.join();

        NamedWindow("Vorn");
        ShowImage("Vorn", image);
        QCOMPARE(WaitKey(5), -1);
        DestroyWindow("Vorn");
        QCOMPARE(workerKey.load(), -1);
    }
};

QTEST_APPLESS_MAIN(PreviewWithoutApplicationTest)
#include "test_preview_without_application.moc"
