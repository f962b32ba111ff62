#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QtTest>
#include <memory>

#include "app/SplashWnd.h"
#include "app/VornDlg.h"
#include "res/Resource.h"
#include "support/ModalAnswerer.h"
#include "support/TestSettings.h"
#include "widgets/DialogControls.h"

// Takes the program's pictures out of its resources for the object's life, as in a build that
// lacks them. (The resource macros work only outside any namespace.)
class WithoutPictures {
public:
    WithoutPictures() { Q_CLEANUP_RESOURCE(vorn_resources); }
    ~WithoutPictures() { Q_INIT_RESOURCE(vorn_resources); }
};

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int Count() const { return m_count; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++m_count;
        }
        return false;
    }

private:
    int m_count = 0;
};

QList<CSplashWnd*> SplashWindows() {
    QList<CSplashWnd*> found;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (auto* splash = qobject_cast<CSplashWnd*>(widget)) {
            found.append(splash);
        }
    }
    return found;
}

QImage Pixels(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class SplashTest : public QObject {
    Q_OBJECT
private slots:
    void init() { CSplashWnd::EnableSplash(false); }

    void cleanup() {
        QTRY_VERIFY(SplashWindows().isEmpty());
        QCOMPARE(CSplashWnd::s_splash, nullptr);
    }

    void nothingShownBeforeItIsEnabled() {
        QWidget owner;
        CSplashWnd::ShowSplash(&owner);
        QCOMPARE(CSplashWnd::s_splash, nullptr);
        QVERIFY(SplashWindows().isEmpty());

        CSplashWnd::EnableSplash(true);
        CSplashWnd::ShowSplash(&owner);
        QVERIFY(CSplashWnd::s_splash);
    }

    void startUpShowsThePictureCentredOverTheScreen() {
        TestSettings settings;
        CVornDlg dlg;
        dlg.OnInitDialog();

        CSplashWnd* splash = CSplashWnd::s_splash;
        QVERIFY(splash);
        QCOMPARE(SplashWindows(), QList<CSplashWnd*>{splash});
        QCOMPARE(splash->parentWidget(), &dlg);
        QVERIFY(splash->isWindow());
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(splash->isVisible());
        QCOMPARE(splash->size(), QSize(350, 325));
        QCOMPARE(splash->geometry().center(), dlg.screen()->availableGeometry().center());
        QCOMPARE(Pixels(splash->grab().toImage()), Pixels(QImage(QString::fromLatin1(IDB_SPLASH))));
    }

    void neverTwoAtOnce() {
        QWidget owner;
        QWidget otherOwner;
        CSplashWnd::EnableSplash(true);
        CSplashWnd::ShowSplash(&owner);
        CSplashWnd* first = CSplashWnd::s_splash;

        CSplashWnd::ShowSplash(&owner);
        CSplashWnd::ShowSplash(&otherOwner);

        QCOMPARE(CSplashWnd::s_splash, first);
        QCOMPARE(SplashWindows(), QList<CSplashWnd*>{first});
    }

    void anyTimerTickHidesIt_data() {
        QTest::addColumn<bool>("ownTimer");
        QTest::newRow("its own timer") << true;
        QTest::newRow("any other timer") << false;
    }

    void anyTimerTickHidesIt() {
        QFETCH(bool, ownTimer);
        QWidget owner;
        owner.resize(400, 300);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        CSplashWnd::EnableSplash(true);
        CSplashWnd::ShowSplash(&owner);
        QPointer<CSplashWnd> splash = CSplashWnd::s_splash;
        QVERIFY(splash && splash->isVisible());

        if (ownTimer) {
            QTRY_VERIFY_WITH_TIMEOUT(!splash || !splash->isVisible(), 10000);
        } else {
            PaintCounter ownerPaints(owner);
            QTimerEvent tick(4242);
            QCoreApplication::sendEvent(splash, &tick);
            QVERIFY(!splash->isVisible());
            // Repainted at once, not when the event loop comes round.
            QVERIFY(ownerPaints.Count() > 0);
        }
        QTRY_VERIFY(splash.isNull());
        QCOMPARE(CSplashWnd::s_splash, nullptr);

        // Still enabled: a further call would show it again.
        CSplashWnd::ShowSplash(&owner);
        QVERIFY(CSplashWnd::s_splash);
    }

    void goesWithTheDialog_data() {
        QTest::addColumn<bool>("closedFirst");
        QTest::newRow("dialog destroyed") << false;
        QTest::newRow("dialog closed, then destroyed") << true;
    }

    void goesWithTheDialog() {
        QFETCH(bool, closedFirst);
        TestSettings settings;
        auto dlg = std::make_unique<CVornDlg>();
        QPointer<CSplashWnd> splash;
        if (closedFirst) {
            // Escape while the splash is up ends the modal run, as the program's dialog does.
            QTimer::singleShot(0, dlg.get(), [&] {
                splash = CSplashWnd::s_splash;
                QTest::keyClick(dlg.get(), Qt::Key_Escape);
            });
            QCOMPARE(dlg->Run(), int(QDialog::Rejected));
        } else {
            dlg->OnInitDialog();
            splash = CSplashWnd::s_splash;
        }
        QVERIFY(splash);

        dlg.reset();

        QVERIFY(splash.isNull());
        QCOMPARE(CSplashWnd::s_splash, nullptr);
    }

    void startUpGoesOnWithoutThePicture() {
        TestSettings settings;
        ModalAnswerer answerer;
        WithoutPictures withoutPictures;
        CVornDlg dlg;
        dlg.OnInitDialog();

        QCOMPARE(CSplashWnd::s_splash, nullptr);
        QVERIFY(SplashWindows().isEmpty());
        QCOMPARE(GetDlgItemAs<QLineEdit>(dlg, IDC_FPS)->text(), QString("25.0"));
        QVERIFY(answerer.Messages().isEmpty());
    }
};

QTEST_MAIN(SplashTest)
#include "test_splash.moc"
