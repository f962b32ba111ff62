#include "support/Captions.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

QStringList ClippedCaptions(const QWidget& window) {
    QStringList clipped;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        QString text;
        int flags = Qt::TextShowMnemonic;
        int margin = 0;
        int verticalMargin = 0;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
            flags |= Qt::TextWordWrap;
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            text = button->text();
            margin = 4;
            verticalMargin = 4;  // its frame and padding: descenders must clear the frame
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            text = box->text();
            margin = box->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4;
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            text = group->title();
            margin = 8;
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            text = edit->text();  // shown whole, without scrolling
            margin = 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
        }
        if (text.isEmpty()) {
            continue;
        }
        const QRect available = widget->rect().adjusted(0, 0, -margin, 0);
        const QRect needed = widget->fontMetrics().boundingRect(available, flags, text);
        if (needed.width() > available.width() ||
            needed.height() > widget->height() - verticalMargin) {
            clipped << QStringLiteral("\"%1\" needs %2x%3 in %4x%5")
                           .arg(text)
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(available.width())
                           .arg(widget->height());
        }
    }
    return clipped;
}
