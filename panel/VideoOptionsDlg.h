#pragma once

#include <QDialog>

#include "video/VideoOptions.h"

// The video maker's choices beyond the range and the rate: the video's file name (its ending
// chooses AVI or MP4), deflicker and its window, leaving bad frames out, the width and the length.
class VideoOptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit VideoOptionsDlg(QWidget* parent = nullptr);

    // Shows m_options, then the modal run; m_options holds the choices when it returns Accepted.
    int DoModal();
    // Copies m_options into the controls, or the controls into m_options with validation; false
    // (after a message naming the field) when a value is refused.
    bool DoDataExchange(bool toMembers);
    void OnDeflicker();
    // The time fields are used only when the frames are chosen by time.
    void OnFramesBy();

    VideoOptions m_options;

public slots:
    // Takes the values; a refused one keeps the dialog open at its field.
    void accept() override;

private:
    void ConnectMessageTable();
};

// Asks for the video options with VideoOptionsDlg; true when the user chose (and `options` holds
// the choices), false when they cancelled (and `options` is as it was).
bool ChooseVideoOptions(QWidget* parent, VideoOptions& options);
