#include "panel/CompressorDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/VideoOptionsDlg.h"
#include "res/Strings.h"

CompressorDlg::CompressorDlg(QWidget* parent, VideoOptions options)
    : QDialog(parent), m_compressors(new QComboBox(this)), m_options(std::move(options)) {
    setWindowTitle(tr("Video Compression"));
    const std::vector<Compressor>& available = AvailableCompressors();
    for (std::size_t i = 0; i < available.size(); ++i) {
        m_compressors->addItem(
            QStringLiteral("%1 (%2)").arg(tr(available[i].name), available[i].fourcc),
            static_cast<int>(i));
    }
    auto* label = new QLabel(tr("&Compressor:"), this);
    label->setBuddy(m_compressors);
    m_compressors->setAccessibleName(tr("Compressor"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(m_compressors->count() > 0);
    QPushButton* optionsButton =
        buttons->addButton(tr(IDS_VIDEO_OPTIONS), QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(optionsButton, &QPushButton::clicked, this, &CompressorDlg::OnVideoOptions);
    SelectDefaultFor(m_options);

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_compressors, 1);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

Compressor CompressorDlg::Selected() const {
    return AvailableCompressors().at(m_compressors->currentData().toInt());
}

void CompressorDlg::SelectDefaultFor(const VideoOptions& options) {
    const char* fourcc = ContainerOf(options.outputName) == Container::Mp4 ? "H264" : "MJPG";
    const std::vector<Compressor>& available = AvailableCompressors();
    for (std::size_t i = 0; i < available.size(); ++i) {
        if (std::string_view(available[i].fourcc) == fourcc) {
            m_compressors->setCurrentIndex(static_cast<int>(i));
        }
    }
}

void CompressorDlg::OnVideoOptions() {
    if (ChooseVideoOptions(this, m_options)) {
        SelectDefaultFor(m_options);
    }
}

std::optional<Compressor> ChooseCompressor(QWidget* parent, VideoOptions& options) {
    CompressorDlg dlg(parent, options);
    if (dlg.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    options = dlg.Options();
    return dlg.Selected();
}
