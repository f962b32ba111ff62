#pragma once

#include <QUrl>
#include <functional>

// Opens a web page; the default one hands it to the desktop's browser without waiting for it.
using PageOpener = std::function<void(const QUrl&)>;

// Puts `opener` in place of the current page opener (tests record the address instead of
// starting a browser) and returns the one it replaces.
PageOpener SetPageOpener(PageOpener opener);

// Opens the page at `address` in the default browser. Whether a browser could be started is not
// looked at.
void OpenWebPage(const char* address);
