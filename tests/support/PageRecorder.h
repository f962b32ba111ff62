#pragma once

#include <QStringList>

#include "widgets/WebPage.h"

// Records the addresses of the web pages the program opens, instead of starting a browser, for
// the object's life.
class PageRecorder {
public:
    PageRecorder();
    ~PageRecorder();
    PageRecorder(const PageRecorder&) = delete;
    PageRecorder& operator=(const PageRecorder&) = delete;

    QStringList Pages() const { return m_pages; }

private:
    QStringList m_pages;
    PageOpener m_previous;
};
