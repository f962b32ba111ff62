#include "video/CompressorDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CCompressorDlg::CCompressorDlg(QWidget* parent)
    : QDialog(parent), m_compressors(new QComboBox(this)) {
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

Compressor CCompressorDlg::Selected() const {
    return AvailableCompressors().at(m_compressors->currentData().toInt());
}

std::optional<Compressor> ChooseCompressor(QWidget* parent) {
    CCompressorDlg dlg(parent);
    if (dlg.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dlg.Selected();
}
