#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "video/AviWriter.h"

class QComboBox;

// Lets the user pick the compressor of the video from those available, as the system's codec
// choice does on other platforms.
class CCompressorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCompressorDlg(QWidget* parent = nullptr);

    // The compressor shown as chosen.
    Compressor Selected() const;

private:
    QComboBox* m_compressors;
};

// Asks for a compressor; the one chosen, or nothing when the user cancelled.
using CompressorChooser = std::function<std::optional<Compressor>(QWidget* parent)>;

// The chooser the program uses: runs CCompressorDlg modally.
std::optional<Compressor> ChooseCompressor(QWidget* parent);
