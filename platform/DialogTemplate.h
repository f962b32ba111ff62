#pragma once

#include <QRect>
#include <QWidget>
#include <span>

class QFontMetrics;

enum class ControlKind {
    GroupBox,
    Label,
    Edit,
    UpDown,
    PushButton,
    DefaultButton,
    CheckBox,
    ProgressBar,
    Icon,
    ComboBox,  // its caption lists its choices, separated by '|'
};

enum ControlStyle : unsigned {
    kNoStyle = 0,
    kReadOnly = 1u << 0,
    kDigitsOnly = 1u << 1,
    kDisabled = 1u << 2,
    kFlat = 1u << 3,
    kOneDecimal = 1u << 4,  // digits with at most one decimal place: 0.5, 86400.0
};

// One control of a dialog template; position and size in dialog units.
struct ControlTemplate {
    int id;  // -1 for static controls
    ControlKind kind;
    const char* caption;  // for an icon, the resource path of its picture
    int x, y, width, height;
    unsigned style = kNoStyle;
    // What screen readers call the control when its caption does not say it (edits, arrows).
    const char* accessibleName = nullptr;
};

struct DialogTemplate {
    int id;
    const char* title;
    int width, height;  // client size in dialog units
    std::span<const ControlTemplate> controls;
};

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
