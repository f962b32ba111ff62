#pragma once

#include <span>

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
