#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "video/VideoOptions.h"
#include "video/VideoWriter.h"

class QComboBox;

// Lets the user pick the compressor of the video from those available, as the system's codec
// choice does on other platforms, and opens the video options from there. The compressor shown
// first is the one the output's container calls for: H.264 for MP4, Motion JPEG for AVI.
class CompressorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CompressorDlg(QWidget* parent = nullptr, VideoOptions options = {});

    // The compressor shown as chosen.
    Compressor Selected() const;
    const VideoOptions& Options() const { return m_options; }
    // Opens the video options; the compressor shown follows the container chosen there.
    void OnVideoOptions();

private:
    void SelectDefaultFor(const VideoOptions& options);

    QComboBox* m_compressors;
    VideoOptions m_options;
};

// Asks for a compressor and lets the user change `options` on the way; the one chosen, or nothing
// when the user cancelled (and `options` stays as it was).
using CompressorChooser =
    std::function<std::optional<Compressor>(QWidget* parent, VideoOptions& options)>;

// The chooser the program uses: runs CompressorDlg modally.
std::optional<Compressor> ChooseCompressor(QWidget* parent, VideoOptions& options);
