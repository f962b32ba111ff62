#include "app/WebLinks.h"

#include <QDesktopServices>
#include <utility>

#include "res/Strings.h"

namespace {

PageOpener& CurrentOpener() {
    static PageOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return opener;
}

void OpenPage(const char* address) {
    CurrentOpener()(QUrl(QString::fromUtf8(address)));
}

}  // namespace

PageOpener SetPageOpener(PageOpener opener) {
    return std::exchange(CurrentOpener(), std::move(opener));
}

void OpenProductPage() {
    OpenPage(kProductPageUrl);
}

void OpenUserGroupPage() {
    OpenPage(kUserGroupUrl);
}
