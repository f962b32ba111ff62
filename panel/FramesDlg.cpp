#include "panel/FramesDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "frames/FrameFile.h"
#include "panel/FramesModel.h"
#include "platform/Numbers.h"
#include "widgets/GroupedIconView.h"

namespace {

// The box a thumbnail is fitted into: a 16:9 frame at 160 pixels.
constexpr QSize kTileSize(160, 90);
constexpr int kTilesAcross = 5;

}  // namespace

FramesDlg::FramesDlg(const std::string& frameDir, const DayRules& rules, int firstNumber,
                     int lastNumber, QWidget* parent)
    : QDialog(parent),
      m_model(new FramesModel(frameDir, rules, this)),
      m_view(new GroupedIconView(kTileSize)),
      m_summary(new QLabel),
      m_range(new QLabel),
      m_shownFolder(ShownFolder(frameDir)),
      m_first(firstNumber),
      m_last(lastNumber) {
    setWindowTitle(tr("Frames"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_view->setModel(m_model);
    m_view->setAccessibleName(tr("Frames"));
    m_summary->setText(
        tr("Reading the frames of %1...").arg(QString::fromStdString(m_shownFolder)));
    m_summary->setWordWrap(true);
    m_range->setWordWrap(true);

    auto* first = new QPushButton(tr("&First frame"));
    first->setToolTip(tr("Makes the frame under the cursor the video's first (F in the grid)"));
    auto* last = new QPushButton(tr("&Last frame"));
    last->setToolTip(tr("Makes the frame under the cursor the video's last (L in the grid)"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* row = new QHBoxLayout;
    row->addWidget(first);
    row->addWidget(last);
    row->addStretch();
    row->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_range);
    layout->addLayout(row);

    m_view->installEventFilter(this);
    connect(first, &QPushButton::clicked, this, &FramesDlg::OnFirstFrame);
    connect(last, &QPushButton::clicked, this, &FramesDlg::OnLastFrame);
    connect(buttons, &QDialogButtonBox::accepted, this, &FramesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FramesDlg::reject);
    connect(m_view, &GroupedIconView::RowsInSightChanged, m_model, &FramesModel::SetRowsInSight);
    connect(m_model, &FramesModel::Loaded, this, &FramesDlg::OnLoaded);

    const QSize tile = m_view->itemDelegate()->sizeHint(QStyleOptionViewItem(), QModelIndex());
    const QSize wanted((tile.width() + 2 * m_view->spacing()) * kTilesAcross + 60,
                       tile.height() * 4 + 160);
    // Within the screen at any scale.
    resize(wanted.boundedTo(screen()->availableSize() * 9 / 10));
    ShowRange();
    m_view->setFocus();
}

bool FramesDlg::eventFilter(QObject* watched, QEvent* event) {
    // The grid would take a letter for a search among the times it shows: F and L choose.
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_F) {
            OnFirstFrame();
            return true;
        }
        if (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_L) {
            OnLastFrame();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FramesDlg::OnLoaded() {
    const FrameCatalog& catalog = m_model->Catalog();
    const int days = catalog.RowCount() - catalog.FrameCount();
    if (catalog.FrameCount() == 0) {
        m_summary->setText(tr("No frame in %1 yet.").arg(QString::fromStdString(m_shownFolder)));
        return;
    }
    m_summary->setText(
        tr("%1 %2 in %3, over %4 %5. Choose the video's first and last frame, then OK.")
            .arg(QString::fromStdString(GroupedDigits(catalog.FrameCount())))
            .arg(catalog.FrameCount() == 1 ? tr("frame") : tr("frames"))
            .arg(QString::fromStdString(m_shownFolder))
            .arg(days)
            .arg(days == 1 ? tr("day") : tr("days")));
    // The cursor starts on the range's first frame, or else the folder's, under its day's heading.
    const QModelIndex start = m_model->index(catalog.RowOfFrame(m_first).value_or(1), 0);
    m_view->setCurrentIndex(start);
    m_view->scrollTo(start);
    ShowRange();
}

std::optional<int> FramesDlg::CurrentFrame() const {
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || m_model->Catalog().IsDay(current.row())) {
        return std::nullopt;
    }
    return m_model->Catalog().FrameAt(current.row()).number;
}

void FramesDlg::OnFirstFrame() {
    if (const std::optional<int> number = CurrentFrame()) {
        m_first = *number;
        m_last = std::max(m_last, m_first);
        ShowRange();
    }
}

void FramesDlg::OnLastFrame() {
    if (const std::optional<int> number = CurrentFrame()) {
        m_last = *number;
        m_first = std::min(m_first, m_last);
        ShowRange();
    }
}

QString FramesDlg::Described(int number) const {
    const FrameCatalog& catalog = m_model->Catalog();
    if (const std::optional<int> row = catalog.RowOfFrame(number)) {
        return tr("%1 on %2")
            .arg(catalog.FrameName(*row), catalog.DayOf(*row).toString(Qt::ISODate));
    }
    return QString::fromStdString(FrameFileName(number));
}

void FramesDlg::ShowRange() {
    if (m_last < m_first) {
        m_range->setText(tr("The video has no frame yet."));
        return;
    }
    m_range->setText(
        tr("The video goes from %1 to %2.").arg(Described(m_first), Described(m_last)));
}

void FramesDlg::accept() {
    if (m_first <= m_last) {
        emit RangeChosen(m_first, m_last);
    }
    QDialog::accept();
}
