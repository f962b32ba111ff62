#include "panel/VideoOptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QPushButton>

#include "platform/Numbers.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "timeline/FrameChoice.h"
#include "video/VideoOutput.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"

namespace {

// The edit of the `field`-th time field.
int FrameTimeFieldId(std::size_t field) {
    return IDC_FRAME_TIME_FIRST + static_cast<int>(field);
}

}  // namespace

VideoOptionsDlg::VideoOptionsDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls(*this, kVideoOptionsTemplate);
    ConnectMessageTable();
}

void VideoOptionsDlg::ConnectMessageTable() {
    connect(GetDlgItemAs<QCheckBox>(*this, IDC_DEFLICKER), &QCheckBox::toggled, this,
            &VideoOptionsDlg::OnDeflicker);
    connect(GetDlgItemAs<QComboBox>(*this, IDC_FRAMES_BY), &QComboBox::currentIndexChanged, this,
            &VideoOptionsDlg::OnFramesBy);
    connect(GetDlgItemAs<QPushButton>(*this, IDOK), &QPushButton::clicked, this,
            &VideoOptionsDlg::accept);
    connect(GetDlgItemAs<QPushButton>(*this, IDCANCEL), &QPushButton::clicked, this,
            &VideoOptionsDlg::reject);
}

int VideoOptionsDlg::DoModal() {
    DoDataExchange(false);
    return exec();
}

void VideoOptionsDlg::OnDeflicker() {
    EnableDlgItem(*this, IDC_DEFLICKER_WINDOW,
                  GetDlgItemAs<QCheckBox>(*this, IDC_DEFLICKER)->isChecked());
}

void VideoOptionsDlg::OnFramesBy() {
    const bool byTime = GetDlgItemAs<QComboBox>(*this, IDC_FRAMES_BY)->currentIndex() == 1;
    for (std::size_t i = 0; i < kFrameTimeFieldCount; ++i) {
        EnableDlgItem(*this, FrameTimeFieldId(i), byTime);
    }
}

bool VideoOptionsDlg::DoDataExchange(bool toMembers) {
    auto* deflicker = GetDlgItemAs<QCheckBox>(*this, IDC_DEFLICKER);
    auto* skipBad = GetDlgItemAs<QCheckBox>(*this, IDC_SKIP_BAD);
    if (!toMembers) {
        SetDlgItemText(*this, IDC_VIDEO_OUTPUT, QString::fromStdString(m_options.outputName));
        deflicker->setChecked(m_options.deflicker);
        SetDlgItemText(*this, IDC_DEFLICKER_WINDOW, QString::number(m_options.deflickerWindow));
        skipBad->setChecked(m_options.skipBad);
        SetDlgItemText(*this, IDC_VIDEO_WIDTH, QString::number(m_options.width));
        SetDlgItemText(*this, IDC_VIDEO_LENGTH, QString::number(m_options.lengthSeconds));
        GetDlgItemAs<QComboBox>(*this, IDC_FRAMES_BY)->setCurrentIndex(m_options.framesByTime.on);
        for (std::size_t i = 0; i < kFrameTimeFieldCount; ++i) {
            SetDlgItemText(*this, FrameTimeFieldId(i),
                           QString::fromStdString(m_options.framesByTime.texts[i]));
        }
        OnDeflicker();
        OnFramesBy();
        return true;
    }
    // The first value refused keeps the dialog open at its field, which the message names.
    auto refuse = [this](int id, const QString& field, const QString& what) {
        ShowMessageBox(field + ": " + what);
        GetDlgItem(*this, id)->setFocus();
        return false;
    };
    auto text = [this](int id) { return GetDlgItemText(*this, id).toStdString(); };
    VideoOptions chosen;
    chosen.outputName = text(IDC_VIDEO_OUTPUT);
    if (const std::optional<std::string> trouble = OutputNameTrouble(chosen.outputName)) {
        return refuse(IDC_VIDEO_OUTPUT, tr("Video file name"), QString::fromStdString(*trouble));
    }
    chosen.deflicker = deflicker->isChecked();
    const std::optional<int> window = ParseWholeInt(text(IDC_DEFLICKER_WINDOW));
    if (!window || !IsDeflickerWindow(*window)) {
        return refuse(IDC_DEFLICKER_WINDOW, tr("Deflicker window"),
                      tr("please enter an odd whole number of frames from %1 to %2.")
                          .arg(kNarrowestDeflickerWindow)
                          .arg(kWidestDeflickerWindow));
    }
    chosen.deflickerWindow = *window;
    chosen.skipBad = skipBad->isChecked();
    const std::optional<int> width = ParseWholeInt(text(IDC_VIDEO_WIDTH));
    if (!width || !IsWidthToScaleTo(*width)) {
        return refuse(IDC_VIDEO_WIDTH, tr("Width"),
                      tr("please enter 0 for the frames' own width, or a number of pixels from 2 "
                         "to %1.")
                          .arg(kWidestVideo));
    }
    chosen.width = *width;
    const std::optional<double> length = ParseWholeNumber(text(IDC_VIDEO_LENGTH));
    if (!length || *length < 0) {
        return refuse(IDC_VIDEO_LENGTH, tr("Length"),
                      tr("please enter 0 to keep the frame rate, or a number of seconds."));
    }
    chosen.lengthSeconds = *length;
    chosen.framesByTime.on = GetDlgItemAs<QComboBox>(*this, IDC_FRAMES_BY)->currentIndex() == 1;
    // Each field as its command-line option takes it, so that a bad one is named here and not
    // when the video is made.
    FrameChoice choice;
    for (std::size_t i = 0; i < kFrameTimeFieldCount; ++i) {
        const int id = FrameTimeFieldId(i);
        chosen.framesByTime.texts[i] = QString::fromStdString(text(id)).trimmed().toStdString();
        const std::string& typed = chosen.framesByTime.texts[i];
        if (typed.empty()) {
            continue;
        }
        if (const std::optional<std::string> trouble =
                SetFrameChoiceOption(choice, kFrameTimeOptions[i], typed, QDate::currentDate())) {
            // "--day takes a date ..." is shown as "Day: takes a date ...".
            const std::string option = std::string("--") + kFrameTimeOptions[i] + " ";
            const std::string what =
                trouble->starts_with(option) ? trouble->substr(option.size()) : *trouble;
            return refuse(id, GetDlgItem(*this, id)->accessibleName(),
                          QString::fromStdString(what));
        }
    }
    m_options = chosen;
    return true;
}

void VideoOptionsDlg::accept() {
    if (DoDataExchange(true)) {
        QDialog::accept();
    }
}

bool ChooseVideoOptions(QWidget* parent, VideoOptions& options) {
    VideoOptionsDlg dlg(parent);
    dlg.m_options = options;
    if (dlg.DoModal() != QDialog::Accepted) {
        return false;
    }
    options = dlg.m_options;
    return true;
}
