#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/VornDlg.h"
#include "support/ManualClock.h"
#include "support/ModalAnswerer.h"
#include "support/SyntheticCamera.h"
#include "support/TestSettings.h"

// The five stored values as `NAME=value` lines, for TestSettings::WriteValues.
QByteArray SettingsValues(int frameCount = 0, int autoStart = 0, const QString& dir = "./",
                          int camera = 0, int resolutionRef = 1);

// Makes a folder the current one for the object's life: the capture log goes there.
class CurrentFolder {
public:
    explicit CurrentFolder(const QString& path) : m_previous(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~CurrentFolder() { QDir::setCurrent(m_previous); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    QString m_previous;
};

// What a capture runs among in a test: temporary settings, a temporary current folder, a
// synthetic camera, a manual clock, a fresh frame folder and a ModalAnswerer.
struct CaptureSurroundings {
    explicit CaptureSurroundings(cv::Size frameSize);

    TestSettings settings;
    ModalAnswerer answerer;
    QTemporaryDir workDir;
    CurrentFolder inWorkDir{workDir.path()};
    QTemporaryDir frameDir;
    ManualClock clock;
    std::shared_ptr<SyntheticCamera> camera;
    RecordingOpener opener;
};

// A main dialog over temporary settings holding `settingsValues` (none when empty), among the
// surroundings of a capture. Its start-up (OnInitDialog) is left to the test.
class DialogBench : public CaptureSurroundings {
public:
    explicit DialogBench(const QByteArray& settingsValues = SettingsValues(),
                         cv::Size frameSize = {320, 240});

    CVornDlg& operator*() { return *dlg; }
    CVornDlg* operator->() { return dlg.get(); }
    // Replaces the dialog by a new one on the same settings, folders, camera and clock.
    void Relaunch();
    QString FramePath(int number) const {
        return frameDir.filePath(QStringLiteral("pic_%1.jpg").arg(number));
    }
    // The text of the capture log in the current folder.
    QByteArray Log() const;

    // Last, so that it and its capture thread are gone before everything the run uses.
    std::unique_ptr<CVornDlg> dlg;
};

// Widgets of a dialog by control id, driven as a user does.
QString Text(const QWidget& dialog, int id);  // of an edit
bool Enabled(const QWidget& dialog, int id);
QString Caption(const QWidget& dialog, int id);  // of a button
void Click(const QWidget& dialog, int id);
// Replaces the edit's text by typing: select all, delete, type.
void Type(const QWidget& dialog, int id, const QString& text);
// Presses the arrows of up-down `id`: 'U' the upper arrow, 'L' the lower one.
void PressArrows(const QWidget& dialog, int id, const QString& arrows);

// The preview window, shown or not, while it exists.
QWidget* PreviewWindow();
// Presses and releases `key` in the shown `window` as the window system delivers it, so that a
// modal window elsewhere would keep it away, as it does from a user.
void PressKeyFromWindowSystem(QWidget* window, Qt::Key key);
// The frame files in `dir`, by name.
QStringList FrameFiles(const QString& dir);
// Takes the keys left in the preview's queue by an earlier test, which would end a run at once.
void DropLeftoverKeys();
