#pragma once

#include <QStringList>

class QWidget;

// The captions of `window`'s labels, buttons, check boxes and group boxes, and the texts of its
// edits, that do not fit their control, each described with the room it needs and the room it has.
// Empty when all fit.
QStringList ClippedCaptions(const QWidget& window);
