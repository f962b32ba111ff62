#pragma once

#include <QRect>
#include <QWidget>

#include "platform/DialogTemplate.h"

class QFontMetrics;

// Dialog units to pixels with the metrics of the dialog's font: x by a quarter of the average
// character width, y by an eighth of the font height.
QRect DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y, int width, int height);

// Gives `dialog` the template's title and fixed client size and creates its controls, each
// carrying its id in the property "controlId".
void CreateControls(QWidget& dialog, const DialogTemplate& dialogTemplate);

// The control of `dialog` with `id`, or null.
QWidget* GetDlgItem(const QWidget& dialog, int id);

template <class Widget>
Widget* GetDlgItemAs(const QWidget& dialog, int id) {
    return qobject_cast<Widget*>(GetDlgItem(dialog, id));
}

// Sets the text of an edit, the caption of a button (and the name screen readers call it by), or
// the choice of a combo box that has that text.
// Writing an edit always notifies its change handler, also when the text stays the same.
void SetDlgItemText(const QWidget& dialog, int id, const QString& text);
// The text of an edit, the caption of a button, or the choice of a combo box.
QString GetDlgItemText(const QWidget& dialog, int id);
void EnableDlgItem(const QWidget& dialog, int id, bool enable);
