#include "video/CompressorDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <opencv2/videoio.hpp>

#include "video/VideoFile.h"

namespace {

// In order of preference. Where one kind of compressor answers to several codes, the first code
// that opens stands for it.
constexpr Compressor kCandidates[] = {
    {"Motion JPEG", "MJPG"}, {"H.264", "H264"},         {"H.264", "avc1"},        {"H.264", "X264"},
    {"Xvid MPEG-4", "XVID"}, {"MPEG-4 Part 2", "FMP4"}, {"Uncompressed", "I420"},
};

bool HasCompressorNamed(const std::vector<Compressor>& compressors, const char* name) {
    return std::any_of(compressors.begin(), compressors.end(),
                       [name](const Compressor& c) { return std::strcmp(c.name, name) == 0; });
}

std::vector<Compressor> ProbeCompressors() {
    std::vector<Compressor> available;
    const QTemporaryDir dir;
    if (!dir.isValid()) {
        return available;
    }
    const std::string path =
        QFile::encodeName(dir.filePath(QStringLiteral("probe.avi"))).toStdString();
    for (const Compressor& candidate : kCandidates) {
        if (HasCompressorNamed(available, candidate.name)) {
            continue;
        }
        cv::VideoWriter writer;
        if (OpenVideoWriter(writer, path, candidate.Code(), 25.0, cv::Size(64, 48))) {
            available.push_back(candidate);
        }
    }
    return available;
}

}  // namespace

int Compressor::Code() const {
    return cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
}

const std::vector<Compressor>& AvailableCompressors() {
    static const std::vector<Compressor> available = ProbeCompressors();
    return available;
}

CCompressorDlg::CCompressorDlg(QWidget* parent)
    : QDialog(parent), m_compressors(new QComboBox(this)) {
    setWindowTitle(tr("Video Compression"));
    for (const Compressor& compressor : AvailableCompressors()) {
        m_compressors->addItem(
            QStringLiteral("%1 (%2)").arg(tr(compressor.name), compressor.fourcc),
            compressor.Code());
    }
    auto* label = new QLabel(tr("&Compressor:"), this);
    label->setBuddy(m_compressors);
    m_compressors->setAccessibleName(tr("Compressor"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(m_compressors->count() > 0);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_compressors, 1);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CCompressorDlg::SelectedCode() const {
    return m_compressors->currentData().toInt();
}

std::optional<int> ChooseCompressor(QWidget* parent) {
    CCompressorDlg dlg(parent);
    if (dlg.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dlg.SelectedCode();
}
