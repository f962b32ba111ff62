#include "support/PageRecorder.h"

#include <QUrl>

PageRecorder::PageRecorder()
    : m_previous(SetPageOpener([this](const QUrl& url) { m_pages << url.toString(); })) {}

PageRecorder::~PageRecorder() {
    SetPageOpener(std::move(m_previous));
}
