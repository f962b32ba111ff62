#include "support/DialogBench.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "res/Strings.h"
#include "widgets/ArrowPair.h"
#include "widgets/DialogControls.h"
#include "widgets/PreviewWindow.h"

QByteArray SettingsValues(int frameCount, int autoStart, const QString& dir, int camera,
                          int resolutionRef) {
    return QStringLiteral(
               "AUTO_START_DIR=%1\nAUTO_START_ON_OFF=%2\nAUTO_START_FRAME_COUNT=%3\nCAM_REF=%4\n"
               "RESOLUTION_REF=%5\n")
        .arg(dir)
        .arg(autoStart)
        .arg(frameCount)
        .arg(camera)
        .arg(resolutionRef)
        .toUtf8();
}

CaptureSurroundings::CaptureSurroundings(cv::Size frameSize)
    : camera(std::make_shared<SyntheticCamera>(frameSize)), opener(ShareCamera(camera)) {}

DialogBench::DialogBench(const QByteArray& settingsValues, cv::Size frameSize)
    : CaptureSurroundings(frameSize) {
    if (!settingsValues.isEmpty()) {
        settings.WriteValues(settingsValues);
    }
    Relaunch();
}

void DialogBench::Relaunch() {
    dlg.reset();
    dlg = std::make_unique<CVornDlg>();
    dlg->Session().SetCameraOpener(opener.Opener());
    dlg->Session().SetClock(clock);
    dlg->Session().SetFrameDir(WithTrailingSeparator(frameDir.path().toStdString()));
}

QByteArray DialogBench::Log() const {
    QFile file(workDir.filePath("error_log.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Text(const QWidget& dialog, int id) {
    return GetDlgItemAs<QLineEdit>(dialog, id)->text();
}

bool Enabled(const QWidget& dialog, int id) {
    return GetDlgItem(dialog, id)->isEnabled();
}

QString Caption(const QWidget& dialog, int id) {
    return GetDlgItemAs<QPushButton>(dialog, id)->text();
}

void Click(const QWidget& dialog, int id) {
    QTest::mouseClick(GetDlgItem(dialog, id), Qt::LeftButton);
}

void Type(const QWidget& dialog, int id, const QString& text) {
    auto* edit = GetDlgItemAs<QLineEdit>(dialog, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void PressArrows(const QWidget& dialog, int id, const QString& arrows) {
    auto* pair = GetDlgItemAs<ArrowPair>(dialog, id);
    for (QChar arrow : arrows) {
        QTest::mouseClick(arrow == 'U' ? pair->UpperArrow() : pair->LowerArrow(), Qt::LeftButton);
    }
}

QWidget* PreviewWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == QString::fromLatin1(kPreviewWindowName)) {
            return widget;
        }
    }
    return nullptr;
}

QStringList FrameFiles(const QString& dir) {
    return QDir(dir).entryList({"pic_*.jpg"}, QDir::Files, QDir::Name);
}

void DropLeftoverKeys() {
    while (WaitKey(1) != -1) {
    }
}

void PressKeyFromWindowSystem(QWidget* window, Qt::Key key) {
    QTest::keyClick(window->windowHandle(), key);
}
