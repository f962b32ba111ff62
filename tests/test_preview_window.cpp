#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <thread>

#include <opencv2/core.hpp>

#include "widgets/PreviewWindow.h"

namespace {

const std::string kName = "Vorn";

// The top-level windows titled `title`.
QList<QWidget*> WindowsTitled(const QString& title) {
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == title) {
            windows.append(widget);
        }
    }
    return windows;
}

QWidget* PreviewWindow() {
    const QList<QWidget*> windows = WindowsTitled(QString::fromStdString(kName));
    return windows.size() == 1 ? windows.front() : nullptr;
}

// Runs `work` on a thread of its own and waits for it. The preview functions never wait for the
// UI thread, so this returns while the UI thread is blocked here.
void RunOnWorker(const std::function<void()>& work) {
    std::thread worker(work);
    worker.join();
}

// Delivers the queued calls that other threads made to the UI thread.
void DeliverQueuedCalls() {
    QCoreApplication::processEvents();
}

// An image of `type` filled with `colour`; a gray one takes the colour's red as its level.
cv::Mat Filled(QSize size, int type, const QColor& colour) {
    const cv::Scalar fill = type == CV_8UC1
                                ? cv::Scalar(colour.red())
                                : cv::Scalar(colour.blue(), colour.green(), colour.red());
    return cv::Mat(size.height(), size.width(), type, fill);
}

// The colour that fills the whole window, or an invalid colour when it shows more than one.
QColor ShownColour(QWidget* window) {
    const QImage shown = window->grab().toImage();
    const QColor first = shown.pixelColor(0, 0);
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (shown.pixelColor(x, y) != first) {
                return {};
            }
        }
    }
    return first;
}

}  // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        // Keys left over from an earlier test would be taken first.
        while (WaitKey(1) != -1) {
        }
    }

    void cleanup() {
        DestroyWindow(kName);
        DeliverQueuedCalls();
    }

    void imageFromWorkerIsShownAtItsSize_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("colour") << CV_8UC3 << QSize(320, 240) << QColor(0, 128, 255);
        QTest::newRow("gray") << CV_8UC1 << QSize(200, 150) << QColor(77, 77, 77);
    }

    void imageFromWorkerIsShownAtItsSize() {
        QFETCH(int, type);
        QFETCH(QSize, size);
        QFETCH(QColor, colour);
        const cv::Mat image = Filled(size, type, colour);

        RunOnWorker([&] {
            NamedWindow(kName);
            ShowImage(kName, image);
        });
        DeliverQueuedCalls();

        QWidget* window = PreviewWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->accessibleName(), QString::fromStdString(kName));
        QCOMPARE(window->size(), size);
        QCOMPARE(ShownColour(window), colour);
    }

    void emptyImageAndUnknownWindowAreIgnored() {
        NamedWindow(kName);
        ShowImage(kName, Filled({320, 240}, CV_8UC3, Qt::blue));
        RunOnWorker([] {
            ShowImage(kName, cv::Mat());
            ShowImage("Elsewhere", Filled({64, 48}, CV_8UC3, Qt::red));
        });
        DeliverQueuedCalls();

        QVERIFY(WindowsTitled("Elsewhere").isEmpty());
        QCOMPARE(PreviewWindow()->size(), QSize(320, 240));
        QCOMPARE(ShownColour(PreviewWindow()), QColor(Qt::blue));
    }

    void namingAWindowAgainKeepsOneWindow() {
        NamedWindow(kName);
        RunOnWorker([] { NamedWindow(kName); });
        DeliverQueuedCalls();

        QCOMPARE(WindowsTitled(QString::fromStdString(kName)).size(), 1);
    }

    void keyPressedInWindowIsReturnedOnUiThread_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("code");
        QTest::newRow("letter") << int(Qt::Key_Q) << int('q');
        QTest::newRow("digit") << int(Qt::Key_7) << int('7');
        QTest::newRow("escape") << int(Qt::Key_Escape) << 27;
        QTest::newRow("arrow without text") << int(Qt::Key_Left) << int(Qt::Key_Left);
    }

    void keyPressedInWindowIsReturnedOnUiThread() {
        QFETCH(int, key);
        QFETCH(int, code);
        NamedWindow(kName);
        QWidget* window = PreviewWindow();
        QVERIFY(window);

        // Pressed while WaitKey runs: only its own event processing can deliver the key.
        QTimer::singleShot(0, window, [window, key] { QTest::keyClick(window, Qt::Key(key)); });
        QCOMPARE(WaitKey(10000), code);

        // Pressed before the call: taken at once.
        QTest::keyClick(window, Qt::Key(key));
        QCOMPARE(WaitKey(10000), code);
    }

    void keysAreTakenInTheOrderPressed() {
        NamedWindow(kName);
        QWidget* window = PreviewWindow();
        QTest::keyClick(window, Qt::Key_A);
        QTest::keyClick(window, Qt::Key_B);

        QCOMPARE(WaitKey(10000), int('a'));
        QCOMPARE(WaitKey(10000), int('b'));
        QCOMPARE(WaitKey(1), -1);
    }

    // Keys untaken when a window goes (a second press, a key repeat) never reach a later window's
    // wait, and a window that is gone takes no keys.
    void keysDoNotOutliveTheirWindow() {
        NamedWindow(kName);
        QWidget* window = PreviewWindow();
        QTest::keyClick(window, Qt::Key_A);
        QTest::keyClick(window, Qt::Key_B);
        QCOMPARE(WaitKey(10000), int('a'));
        RunOnWorker([] { DestroyWindow(kName); });
        QTest::keyClick(window, Qt::Key_C);  // its deletion is still queued
        DeliverQueuedCalls();

        NamedWindow(kName);
        QCOMPARE(WaitKey(1), -1);
    }

    // Closed by the user, the window comes back with the next image.
    void closedWindowComesBackWithTheNextImage() {
        NamedWindow(kName);
        ShowImage(kName, Filled({64, 48}, CV_8UC3, Qt::red));
        DeliverQueuedCalls();
        PreviewWindow()->close();
        QVERIFY(!PreviewWindow()->isVisible());

        RunOnWorker([] { ShowImage(kName, Filled({64, 48}, CV_8UC3, Qt::green)); });
        DeliverQueuedCalls();
        QVERIFY(PreviewWindow()->isVisible());
        QCOMPARE(ShownColour(PreviewWindow()), QColor(Qt::green));
    }

    void keyPressedInWindowIsReturnedToWorker() {
        NamedWindow(kName);
        std::atomic<int> code = 0;
        std::thread worker([&code] { code = WaitKey(60000); });

        QTest::keyClick(PreviewWindow(), Qt::Key_Q);
        worker.join();

        QCOMPARE(code.load(), int('q'));
    }

    void waitWithoutKeyTimesOut() {
        NamedWindow(kName);
        QCOMPARE(WaitKey(20), -1);

        std::atomic<int> code = 0;
        RunOnWorker([&code] { code = WaitKey(20); });
        QCOMPARE(code.load(), -1);
    }

    void destroyFromWorkerRemovesWindow() {
        NamedWindow(kName);
        QVERIFY(PreviewWindow());

        RunOnWorker([] { DestroyWindow(kName); });
        DeliverQueuedCalls();
        QVERIFY(!PreviewWindow());

        RunOnWorker([] { ShowImage(kName, Filled({320, 240}, CV_8UC3, Qt::red)); });
        DeliverQueuedCalls();
        QVERIFY(WindowsTitled(QString::fromStdString(kName)).isEmpty());
    }

    void callsQueuedBeforeDestroyDoNotReviveWindow() {
        // Every call reaches the UI thread after the window is gone.
        RunOnWorker([] {
            NamedWindow(kName);
            ShowImage(kName, Filled({320, 240}, CV_8UC3, Qt::red));
            DestroyWindow(kName);
            ShowImage(kName, Filled({320, 240}, CV_8UC3, Qt::red));
        });
        DeliverQueuedCalls();
        QVERIFY(WindowsTitled(QString::fromStdString(kName)).isEmpty());

        // The UI thread destroys the window before the worker's creation arrives.
        RunOnWorker([] { NamedWindow(kName); });
        DestroyWindow(kName);
        DeliverQueuedCalls();
        QVERIFY(WindowsTitled(QString::fromStdString(kName)).isEmpty());
    }

    void windowCanBeNamedAgainAfterDestroy() {
        NamedWindow(kName);
        DestroyWindow(kName);
        RunOnWorker([] {
            NamedWindow(kName);
            ShowImage(kName, Filled({64, 48}, CV_8UC1, Qt::white));
        });
        DeliverQueuedCalls();

        QVERIFY(PreviewWindow());
        QCOMPARE(PreviewWindow()->size(), QSize(64, 48));
    }

    void streamFromWorkerEndsWithItsLastImage() {
        NamedWindow(kName);
        QWidget* window = PreviewWindow();
        const cv::Mat stream[] = {Filled({640, 480}, CV_8UC3, Qt::red),
                                  Filled({320, 240}, CV_8UC1, Qt::gray)};
        const cv::Mat last = Filled({200, 100}, CV_8UC3, Qt::blue);
        std::atomic<bool> done = false;
        std::thread worker([&] {
            for (int frame = 0; frame < 300; ++frame) {
                ShowImage(kName, stream[frame % 2]);
            }
            ShowImage(kName, last);
            done = true;
        });
        // Paints while the worker keeps replacing the image.
        while (!done) {
            DeliverQueuedCalls();
            window->grab();
        }
        worker.join();
        DeliverQueuedCalls();

        QCOMPARE(window->size(), QSize(200, 100));
        QCOMPARE(ShownColour(window), QColor(Qt::blue));
    }
};

QTEST_MAIN(PreviewWindowTest)
#include "test_preview_window.moc"
