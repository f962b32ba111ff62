#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;

// A compressor that the video writer can put into an AVI file.
struct Compressor {
    const char* name;
    const char* fourcc;
    int Code() const;  // the FOURCC as the video writer takes it
};

// The compressors that cv::VideoWriter can open for an AVI file on this machine, Motion JPEG
// first where it is there. Probed once per process, by opening a small writer for each candidate.
// Safe to call from any thread.
const std::vector<Compressor>& AvailableCompressors();

// Lets the user pick the compressor of the video from those available, as the system's codec
// choice does on other platforms.
class CCompressorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCompressorDlg(QWidget* parent = nullptr);

    // The FOURCC code of the compressor shown as chosen.
    int SelectedCode() const;

private:
    QComboBox* m_compressors;
};

// Asks for a compressor; its FOURCC code, or nothing when the user cancelled.
using CompressorChooser = std::function<std::optional<int>(QWidget* parent)>;

// The chooser the program uses: runs CCompressorDlg modally.
std::optional<int> ChooseCompressor(QWidget* parent);
