#pragma once

#include <QListView>
#include <QStyledItemDelegate>

// A grid of pictures over a list model, in groups: a row that cannot be selected is a group's
// heading, as wide as the view, and the keyboard passes over it. A picture row shows its
// Qt::DecorationRole image scaled into the tile and its Qt::DisplayRole text under it (a first
// line, then the rest wrapped over two more), in its Qt::ForegroundRole colour when it has one. The
// view says which rows are in sight, so that a model that loads its pictures lazily can drop what
// scrolled out of it.
class GroupedIconView : public QListView {
    Q_OBJECT
public:
    // `tileSize`: the picture's box; the text lines come under it.
    GroupedIconView(QSize tileSize, QWidget* parent = nullptr);

    // The first and last rows in sight, or -1 and -1 when none is.
    std::pair<int, int> RowsInSight() const;

signals:
    void RowsInSightChanged(int first, int last);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void reset() override;

private:
    void TellRowsInSight();
    bool IsHeading(int row) const;
};

// Paints GroupedIconView's tiles and headings.
class GroupedIconDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GroupedIconDelegate(QSize tileSize, QListView& view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The first line of the text, and two more for the rest, wrapped.
    static constexpr int kTextLines = 3;

    QSize m_tileSize;
    QListView& m_view;
};
