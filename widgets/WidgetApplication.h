#pragma once

class QApplication;

// The running application when it is a widget application, else null: only then can windows be
// made. Safe to call from any thread.
QApplication* WidgetApplication();
