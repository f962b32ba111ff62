#include <QLineEdit>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <memory>

#include "app/VornDlg.h"
#include "platform/ArrowPair.h"
#include "platform/DialogTemplate.h"
#include "res/Resource.h"
#include "support/TestSettings.h"

namespace {

// The main dialog after start-up with `framesTaken` frames counted in the settings. Not shown: its
// controls take typed keys and clicks all the same.
class ShownDialog {
public:
    explicit ShownDialog(int framesTaken = 50) {
        m_settings.WriteValues(QStringLiteral("AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\n"
                                              "AUTO_START_FRAME_COUNT=%1\nCAM_REF=0\n"
                                              "RESOLUTION_REF=1\n")
                                   .arg(framesTaken)
                                   .toUtf8());
        m_dlg = std::make_unique<CVornDlg>();
        m_dlg->OnInitDialog();
    }
    CVornDlg& operator*() { return *m_dlg; }
    CVornDlg* operator->() { return m_dlg.get(); }

private:
    TestSettings m_settings;  // before the dialog, which reads it
    std::unique_ptr<CVornDlg> m_dlg;
};

QString Text(const CVornDlg& dlg, int id) {
    return GetDlgItemAs<QLineEdit>(dlg, id)->text();
}

// Replaces the edit's text by typing, as a user does: select all, delete, type.
void Type(CVornDlg& dlg, int id, const QString& text) {
    auto* edit = GetDlgItemAs<QLineEdit>(dlg, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// Presses the arrows of up-down `id`: 'U' the upper arrow, 'L' the lower one.
void Press(CVornDlg& dlg, int id, const QString& arrows) {
    auto* pair = GetDlgItemAs<ArrowPair>(dlg, id);
    for (QChar arrow : arrows) {
        QTest::mouseClick(arrow == 'U' ? pair->UpperArrow() : pair->LowerArrow(), Qt::LeftButton);
    }
}

void PressTimes(CVornDlg& dlg, int id, QChar arrow, int times) {
    Press(dlg, id, QString(times, arrow));
}

}  // namespace

class VideoControlsTest : public QObject {
    Q_OBJECT
private slots:
    void durationFollowsTypedValues_data();
    void durationFollowsTypedValues();
    void typedFramesOutsideTheirLimits_data();
    void typedFramesOutsideTheirLimits();
    void startArrows_data();
    void startArrows();
    void endArrowsAroundTheLimit_data();
    void endArrowsAroundTheLimit();
    void gapArrows_data();
    void gapArrows();
    void gapBelowOneCountsAsOne_data();
    void gapBelowOneCountsAsOne();
    void fpsArrows_data();
    void fpsArrows();
    void fpsStepsKeepTheirRounding();
};

void VideoControlsTest::durationFollowsTypedValues_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("gap");
    QTest::addColumn<QString>("duration");
    QTest::newRow("50 frames at 25 fps") << "0"
                                         << "50"
                                         << "1"
                                         << "2.00";
    QTest::newRow("every other frame") << "0"
                                       << "50"
                                       << "2"
                                       << "1.00";
    QTest::newRow("from 25, every other") << "25"
                                          << "50"
                                          << "2"
                                          << "0.50";
    QTest::newRow("one frame") << "49"
                               << "50"
                               << "1"
                               << "0.04";
    QTest::newRow("empty range") << "10"
                                 << "10"
                                 << "3"
                                 << "0.00";
}

void VideoControlsTest::durationFollowsTypedValues() {
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, gap);
    QFETCH(QString, duration);
    ShownDialog dlg;
    Type(*dlg, IDC_END_FRAME, end);
    Type(*dlg, IDC_START_FRAME, start);
    Type(*dlg, IDC_GAP, gap);
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
    QCOMPARE(dlg->m_startFrame, start.toInt());
    QCOMPARE(dlg->m_endFrame, end.toInt());
    QCOMPARE(dlg->m_gap, gap.toInt());
}

void VideoControlsTest::typedFramesOutsideTheirLimits_data() {
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("duration");
    QTest::newRow("end beyond the frames taken") << IDC_END_FRAME << "80" << 0 << 50 << "2.00";
    QTest::newRow("start beyond the end") << IDC_START_FRAME << "70" << 50 << 50 << "0.00";
    QTest::newRow("end emptied") << IDC_END_FRAME << "" << 0 << 0 << "0.00";
    QTest::newRow("start emptied") << IDC_START_FRAME << "" << 0 << 50 << "2.00";
    QTest::newRow("end beyond int") << IDC_END_FRAME << "99999999999" << 0 << 50 << "2.00";
}

// The member keeps to its limits; the edit keeps what was typed.
void VideoControlsTest::typedFramesOutsideTheirLimits() {
    QFETCH(int, edit);
    QFETCH(QString, typed);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, duration);
    ShownDialog dlg(50);
    Type(*dlg, edit, typed);
    QCOMPARE(Text(*dlg, edit), typed);
    QCOMPARE(dlg->m_startFrame, start);
    QCOMPARE(dlg->m_endFrame, end);
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
}

void VideoControlsTest::startArrows_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("arrows");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("duration");
    QTest::newRow("upper raises") << "10"
                                  << "U" << 11 << "1.56";
    QTest::newRow("lower lowers") << "10"
                                  << "L" << 9 << "1.64";
    QTest::newRow("at 0 the lower keeps 0") << "0"
                                            << "L" << 0 << "2.00";
    QTest::newRow("at the end the upper keeps it") << "50"
                                                   << "U" << 50 << "0.00";
    QTest::newRow("typed beyond the end, lower") << "70"
                                                 << "L" << 49 << "0.04";
}

void VideoControlsTest::startArrows() {
    QFETCH(QString, typed);
    QFETCH(QString, arrows);
    QFETCH(int, start);
    QFETCH(QString, duration);
    ShownDialog dlg(50);
    Type(*dlg, IDC_START_FRAME, typed);
    Press(*dlg, IDC_START_SPIN, arrows);
    QCOMPARE(dlg->m_startFrame, start);
    QCOMPARE(Text(*dlg, IDC_START_FRAME), QString::number(start));
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
}

void VideoControlsTest::endArrowsAroundTheLimit_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("framesTaken");
    QTest::addColumn<QString>("arrows");
    QTest::addColumn<int>("member");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("duration");
    QTest::newRow("at the limit, upper") << "0"
                                         << "50" << 50 << "U" << 50 << "50"
                                         << "2.00";
    QTest::newRow("at the limit, lower") << "0"
                                         << "50" << 50 << "L" << 49 << "49"
                                         << "1.96";
    QTest::newRow("at the start, lower") << "20"
                                         << "20" << 50 << "L" << 20 << "20"
                                         << "0.00";
    // The start lies above the frames taken: the two handlers pull the end different ways.
    QTest::newRow("start above the limit, upper") << "5"
                                                  << "5" << 3 << "U" << 5 << "3"
                                                  << "0.00";
    QTest::newRow("start above the limit, upper then lower") << "5"
                                                             << "5" << 3 << "UL" << 3 << "5"
                                                             << "-0.08";
}

void VideoControlsTest::endArrowsAroundTheLimit() {
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(int, framesTaken);
    QFETCH(QString, arrows);
    QFETCH(int, member);
    QFETCH(QString, shown);
    QFETCH(QString, duration);
    ShownDialog dlg(50);
    Type(*dlg, IDC_END_FRAME, end);
    Type(*dlg, IDC_START_FRAME, start);
    // As a later run that took fewer frames leaves the counter.
    dlg->m_frameCounter = 10000 + framesTaken;
    Press(*dlg, IDC_END_SPIN, arrows);
    QCOMPARE(dlg->m_endFrame, member);
    QCOMPARE(Text(*dlg, IDC_END_FRAME), shown);
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
}

void VideoControlsTest::gapArrows_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("arrows");
    QTest::addColumn<int>("gap");
    QTest::addColumn<QString>("duration");
    QTest::newRow("at 1, lower keeps 1") << "1"
                                         << "L" << 1 << "2.00";
    QTest::newRow("at 1, upper") << "1"
                                 << "U" << 2 << "1.00";
    QTest::newRow("at 10, upper keeps 10") << "10"
                                           << "U" << 10 << "0.20";
    QTest::newRow("at 10, lower") << "10"
                                  << "L" << 9 << "0.22";
    QTest::newRow("15 typed, upper") << "15"
                                     << "U" << 10 << "0.20";
    QTest::newRow("15 typed, lower") << "15"
                                     << "L" << 10 << "0.20";
    QTest::newRow("0 typed, lower") << "0"
                                    << "L" << 1 << "2.00";
    QTest::newRow("beyond int typed, upper") << "99999999999"
                                             << "U" << 10 << "0.20";
}

void VideoControlsTest::gapArrows() {
    QFETCH(QString, typed);
    QFETCH(QString, arrows);
    QFETCH(int, gap);
    QFETCH(QString, duration);
    ShownDialog dlg(50);
    Type(*dlg, IDC_GAP, typed);
    Press(*dlg, IDC_GAP_SPIN, arrows);
    QCOMPARE(dlg->m_gap, gap);
    QCOMPARE(Text(*dlg, IDC_GAP), QString::number(gap));
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
}

void VideoControlsTest::gapBelowOneCountsAsOne_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("0") << "0";
    QTest::newRow("emptied") << "";
    QTest::newRow("00") << "00";
}

// A gap below 1 would give no finite duration and no frames to step through; it counts as 1
// while the edit keeps what was typed.
void VideoControlsTest::gapBelowOneCountsAsOne() {
    QFETCH(QString, typed);
    ShownDialog dlg(50);
    Type(*dlg, IDC_GAP, "3");
    Type(*dlg, IDC_GAP, typed);
    QCOMPARE(Text(*dlg, IDC_GAP), typed);
    QCOMPARE(dlg->m_gap, 1);
    QVERIFY(std::isfinite(dlg->m_videoDuration));
    QCOMPARE(Text(*dlg, IDC_DURATION), QString("2.00"));
}

void VideoControlsTest::fpsArrows_data() {
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("lower");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<bool>("heldAtLimit");
    QTest::newRow("25.0 upper") << 1 << 0 << "25.1"
                                << "1.99" << false;
    QTest::newRow("25.0 lower") << 0 << 1 << "24.9"
                                << "2.01" << false;
    QTest::newRow("held at 50.0") << 260 << 0 << "50.0"
                                  << "1.00" << true;
    QTest::newRow("held at 10.0") << 0 << 160 << "10.0"
                                  << "5.00" << true;
}

void VideoControlsTest::fpsArrows() {
    QFETCH(int, upper);
    QFETCH(int, lower);
    QFETCH(QString, shown);
    QFETCH(QString, duration);
    QFETCH(bool, heldAtLimit);
    ShownDialog dlg(50);
    PressTimes(*dlg, IDC_FPS_SPIN, 'U', upper);
    PressTimes(*dlg, IDC_FPS_SPIN, 'L', lower);
    QCOMPARE(Text(*dlg, IDC_FPS), shown);
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
    if (heldAtLimit) {
        QCOMPARE(dlg->m_fps, shown.toFloat());
    }
}

// The steps add the single-precision 0.1 and are never rounded: from 50.0, 400 presses of the
// lower arrow end near 10.0002, which still shows as 10.0.
void VideoControlsTest::fpsStepsKeepTheirRounding() {
    ShownDialog dlg(50);
    PressTimes(*dlg, IDC_FPS_SPIN, 'U', 260);
    QCOMPARE(dlg->m_fps, 50.0f);
    PressTimes(*dlg, IDC_FPS_SPIN, 'L', 400);
    QCOMPARE(Text(*dlg, IDC_FPS), QString("10.0"));
    QVERIFY(dlg->m_fps > 10.0f);
    QVERIFY(std::abs(dlg->m_fps - 10.0002f) < 0.0001f);
}

QTEST_MAIN(VideoControlsTest)
#include "test_video_controls.moc"
