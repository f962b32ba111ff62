#include "widgets/WebPage.h"

#include <QDesktopServices>
#include <utility>

namespace {

PageOpener& CurrentOpener() {
    static PageOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return opener;
}

}  // namespace

PageOpener SetPageOpener(PageOpener opener) {
    return std::exchange(CurrentOpener(), std::move(opener));
}

void OpenWebPage(const char* address) {
    CurrentOpener()(QUrl(QString::fromUtf8(address)));
}
