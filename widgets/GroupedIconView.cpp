#include "widgets/GroupedIconView.h"

#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kSpacing = 6;
constexpr int kPadding = 4;

}  // namespace

GroupedIconView::GroupedIconView(QSize tileSize, QWidget* parent) : QListView(parent) {
    setViewMode(QListView::IconMode);
    // Laid out once, in reading order: nothing is dragged about.
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setLayoutMode(QListView::Batched);
    setBatchSize(2000);
    setSpacing(kSpacing);
    setWrapping(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(false);
    // A heading is as wide as the viewport: a scroll bar that came and went would change it.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setItemDelegate(new GroupedIconDelegate(tileSize, *this));
    verticalScrollBar()->setSingleStep(tileSize.height() / 4);
}

bool GroupedIconView::IsHeading(int row) const {
    return !(model()->flags(model()->index(row, 0)) & Qt::ItemIsSelectable);
}

QModelIndex GroupedIconView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    QModelIndex next = QListView::moveCursor(action, modifiers);
    if (!next.isValid() || !IsHeading(next.row())) {
        return next;
    }
    // Onwards past the heading, the way the cursor went; back at either end.
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int forward = next.row() > current || action == MoveHome ? 1 : -1;
    const int rows = model()->rowCount();
    for (const int step : {forward, -forward}) {
        for (int row = next.row() + step; row >= 0 && row < rows; row += step) {
            if (!IsHeading(row)) {
                return model()->index(row, 0);
            }
        }
    }
    return currentIndex();
}

std::pair<int, int> GroupedIconView::RowsInSight() const {
    // Points a tile's half apart over the viewport find every tile and heading in sight.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QSize tile = itemDelegate()->sizeHint(option, QModelIndex());
    const int stepX = std::max(tile.width() / 2, 1);
    const int stepY = std::max(tile.height() / 4, 1);
    int first = -1;
    int last = -1;
    const QRect area = viewport()->rect();
    for (int y = area.top(); y <= area.bottom() + stepY - 1; y += stepY) {
        for (int x = area.left(); x <= area.right() + stepX - 1; x += stepX) {
            const QModelIndex index =
                indexAt(QPoint(std::min(x, area.right()), std::min(y, area.bottom())));
            if (index.isValid()) {
                first = first < 0 ? index.row() : std::min(first, index.row());
                last = std::max(last, index.row());
            }
        }
    }
    return {first, last};
}

void GroupedIconView::TellRowsInSight() {
    const auto [first, last] = RowsInSight();
    emit RowsInSightChanged(first, last);
}

void GroupedIconView::scrollContentsBy(int dx, int dy) {
    QListView::scrollContentsBy(dx, dy);
    TellRowsInSight();
}

void GroupedIconView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    // After the layout that the resize starts.
    QTimer::singleShot(0, this, &GroupedIconView::TellRowsInSight);
}

void GroupedIconView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QListView::rowsInserted(parent, start, end);
    QTimer::singleShot(0, this, &GroupedIconView::TellRowsInSight);
}

void GroupedIconView::reset() {
    QListView::reset();
    QTimer::singleShot(0, this, &GroupedIconView::TellRowsInSight);
}

GroupedIconDelegate::GroupedIconDelegate(QSize tileSize, QListView& view)
    : QStyledItemDelegate(&view), m_tileSize(tileSize), m_view(view) {}

QSize GroupedIconDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    const int lineHeight = option.fontMetrics.lineSpacing();
    // Only the flags: the picture is not asked for, so laying out many rows loads nothing.
    if (index.isValid() && !(index.flags() & Qt::ItemIsSelectable)) {
        const int width = m_view.viewport()->width() - 2 * m_view.spacing() - 1;
        return {std::max(width, m_tileSize.width()), lineHeight * 2};
    }
    return {m_tileSize.width() + 2 * kPadding,
            m_tileSize.height() + kTextLines * lineHeight + 3 * kPadding};
}

void GroupedIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    painter->save();
    const QPalette& palette = option.palette;
    const QRect rect = option.rect;
    if (!(index.flags() & Qt::ItemIsSelectable)) {
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(palette.color(QPalette::WindowText));
        const QRect text = rect.adjusted(kPadding, 0, -kPadding, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->setPen(palette.color(QPalette::Mid));
        painter->drawLine(text.bottomLeft(), text.bottomRight());
        painter->restore();
        return;
    }
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        painter->fillRect(rect, palette.brush(QPalette::Highlight));
    }
    const QRect box(rect.topLeft() + QPoint(kPadding, kPadding), m_tileSize);
    const QImage picture = index.data(Qt::DecorationRole).value<QImage>();
    if (picture.isNull()) {
        painter->fillRect(box, palette.brush(QPalette::Midlight));
    } else {
        const QSize fitted = picture.size().scaled(m_tileSize, Qt::KeepAspectRatio);
        const QRect target(box.topLeft() + QPoint((box.width() - fitted.width()) / 2,
                                                  (box.height() - fitted.height()) / 2),
                           fitted);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, picture);
    }
    const QVariant foreground = index.data(Qt::ForegroundRole);
    painter->setPen(foreground.isValid() && !selected ? foreground.value<QBrush>().color()
                    : selected                        ? palette.color(QPalette::HighlightedText)
                                                      : palette.color(QPalette::Text));
    // The first line on its own, the rest wrapped at words under it.
    const int lineHeight = option.fontMetrics.lineSpacing();
    const QString text = index.data(Qt::DisplayRole).toString();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QRect first(box.left(), box.bottom() + kPadding, box.width(), lineHeight);
    painter->drawText(
        first, Qt::AlignHCenter | Qt::AlignTop,
        option.fontMetrics.elidedText(text.left(lineEnd), Qt::ElideRight, first.width()));
    if (lineEnd >= 0) {
        const QRect rest(first.left(), first.bottom() + 1, first.width(),
                         (kTextLines - 1) * lineHeight);
        painter->drawText(rest, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                          text.mid(lineEnd + 1));
    }
    if (option.state & QStyle::State_HasFocus) {
        painter->setPen(QPen(palette.color(QPalette::Highlight), 2));
        painter->drawRect(rect.adjusted(1, 1, -1, -1));
    }
    painter->restore();
}
