#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/AboutDlg.h"
#include "app/VornDlg.h"
#include "platform/DialogTemplate.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/Captions.h"
#include "support/ModalAnswerer.h"
#include "support/PageRecorder.h"
#include "support/TestSettings.h"

namespace {

// A main dialog that has been through its start-up and is on screen.
struct ShownDialog {
    TestSettings settings;
    ModalAnswerer answerer;
    CVornDlg dlg;

    ShownDialog() {
        dlg.OnInitDialog();
        dlg.show();
    }
};

void ClickButton(const QWidget& dialog, int id) {
    QTest::mouseClick(GetDlgItemAs<QPushButton>(dialog, id), Qt::LeftButton);
}

// Once a popup menu shows, hands it to `handle`, which must close it.
void WhenMenuShows(std::function<void(QMenu&)> handle) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, handle] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(*menu);
        }
    });
    poll->start(10);
}

// The texts of a menu's entries, a separator as "-".
QStringList EntryTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

// Clicks the entry of `menu` whose text is `text`, as a user would.
void ClickEntry(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
            return;
        }
    }
    menu.close();
    QFAIL(qPrintable("no menu entry " + text));
}

// Right-clicks the dialog where no control is, which opens the dialog's own context menu.
void RightClickDialog(CVornDlg& dlg) {
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    // Through the window, as the window system delivers it, so that Qt makes the menu event.
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, {}, QPoint(3, 3));
}

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void aboutCommandOpensAboutBox_data();
    void aboutCommandOpensAboutBox();
    void contextMenuOffersWindowCommandsThenAbout();
    void contextMenuAboutOpensAboutBox();
    void contextMenuCloseEndsDialogWithoutExchange();
    void contextMenuMinimiseMinimises();
    void aboutBoxShowsIconVersionAndNotice();
    void aboutBoxClosesWithOkEnterOrEscape_data();
    void aboutBoxClosesWithOkEnterOrEscape();
    void aboutLinkOpensUserGroupPageAndStaysOpen();
    void helpAndNoticeOpenProductPage_data();
    void helpAndNoticeOpenProductPage();
};

void AboutTest::aboutCommandOpensAboutBox_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("opens");
    QTest::newRow("the entry's own id") << 16 << true;
    QTest::newRow("with the system's low bits set") << 0x001F << true;
    QTest::newRow("below the entry") << 0x000F << false;
    QTest::newRow("above the entry") << 0x0020 << false;
}

void AboutTest::aboutCommandOpensAboutBox() {
    QFETCH(int, command);
    QFETCH(bool, opens);
    ShownDialog shown;
    QStringList opened;
    shown.answerer.SetDialogHandler([&](QWidget* modal) {
        opened << modal->metaObject()->className();
        ClickButton(*modal, IDOK);
    });
    shown.dlg.OnSysCommand(command);
    QCOMPARE(opened, opens ? QStringList{"CAboutDlg"} : QStringList());
    QVERIFY(shown.dlg.isVisible());
    QVERIFY(!shown.dlg.isMinimized());
}

void AboutTest::contextMenuOffersWindowCommandsThenAbout() {
    ShownDialog shown;
    QStringList entries;
    WhenMenuShows([&](QMenu& menu) {
        entries = EntryTexts(menu);
        menu.close();
    });
    RightClickDialog(shown.dlg);
    QCOMPARE(entries, (QStringList{"Mi&nimise", "&Close", "-", "&About Vorn..."}));
    QCOMPARE(entries.last(), QString(IDS_SYSMENU_ABOUT));
    QVERIFY(shown.dlg.isVisible());
}

void AboutTest::contextMenuAboutOpensAboutBox() {
    ShownDialog shown;
    QString opened;
    shown.answerer.SetDialogHandler([&](QWidget* modal) {
        opened = modal->windowTitle();
        ClickButton(*modal, IDOK);
    });
    WhenMenuShows([](QMenu& menu) { ClickEntry(menu, IDS_SYSMENU_ABOUT); });
    RightClickDialog(shown.dlg);
    QTRY_COMPARE(opened, QString("About Vorn"));
    QVERIFY(shown.dlg.isVisible());
}

void AboutTest::contextMenuCloseEndsDialogWithoutExchange() {
    ShownDialog shown;
    WhenMenuShows([](QMenu& menu) { ClickEntry(menu, "&Close"); });
    RightClickDialog(shown.dlg);
    QTRY_VERIFY(!shown.dlg.isVisible());
    QCOMPARE(shown.dlg.result(), int(QDialog::Rejected));
    QVERIFY(shown.answerer.Messages().isEmpty());
}

void AboutTest::contextMenuMinimiseMinimises() {
    ShownDialog shown;
    WhenMenuShows([](QMenu& menu) { ClickEntry(menu, "Mi&nimise"); });
    RightClickDialog(shown.dlg);
    QTRY_VERIFY(shown.dlg.isMinimized());
}

void AboutTest::aboutBoxShowsIconVersionAndNotice() {
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QString("About Vorn"));
    QStringList texts;
    const QLabel* icon = nullptr;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->pixmap().isNull()) {
            texts << label->text();
        } else {
            icon = label;
        }
    }
    QCOMPARE(texts, (QStringList{"Vorn Version 3.5", kNoticeLine}));
    QVERIFY(icon);
    QCOMPARE(icon->pixmap().toImage(), QPixmap(IDR_MAINFRAME).toImage());
    QCOMPARE(GetDlgItemAs<QPushButton>(about, IDC_USER_GROUP)->text(), QString(kUserGroupUrl));
    QVERIFY(GetDlgItemAs<QPushButton>(about, IDOK)->isDefault());
    QCOMPARE(ClippedCaptions(about).join("; "), QString());
}

void AboutTest::aboutBoxClosesWithOkEnterOrEscape_data() {
    QTest::addColumn<std::function<void(QDialog&)>>("close");
    QTest::newRow("OK") << std::function<void(QDialog&)>(
        [](QDialog& box) { ClickButton(box, IDOK); });
    QTest::newRow("Enter") << std::function<void(QDialog&)>(
        [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); });
    QTest::newRow("Escape") << std::function<void(QDialog&)>(
        [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); });
}

void AboutTest::aboutBoxClosesWithOkEnterOrEscape() {
    QFETCH(std::function<void(QDialog&)>, close);
    ShownDialog shown;
    const float fps = shown.dlg.m_fps;
    const int endFrame = shown.dlg.m_endFrame;
    int answered = 0;
    shown.answerer.SetDialogHandler([&](QWidget* modal) {
        ++answered;
        close(*qobject_cast<QDialog*>(modal));
    });
    shown.dlg.OnSysCommand(ID_SYSMENU_ABOUT);
    QCOMPARE(answered, 1);
    QVERIFY(shown.dlg.isVisible());
    QCOMPARE(shown.dlg.m_fps, fps);
    QCOMPARE(shown.dlg.m_endFrame, endFrame);
}

void AboutTest::aboutLinkOpensUserGroupPageAndStaysOpen() {
    ShownDialog shown;
    PageRecorder pages;
    bool openAfterClick = false;
    shown.answerer.SetDialogHandler([&](QWidget* modal) {
        ClickButton(*modal, IDC_USER_GROUP);
        openAfterClick = modal->isVisible();
        ClickButton(*modal, IDOK);
    });
    shown.dlg.OnSysCommand(ID_SYSMENU_ABOUT);
    QVERIFY(openAfterClick);
    QCOMPARE(pages.Pages(), QStringList{kUserGroupUrl});
}

void AboutTest::helpAndNoticeOpenProductPage_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("Help") << IDC_HELP_PAGE;
    QTest::newRow("notice") << IDC_NOTICE;
}

void AboutTest::helpAndNoticeOpenProductPage() {
    QFETCH(int, button);
    ShownDialog shown;
    PageRecorder pages;
    ClickButton(shown.dlg, button);
    QCOMPARE(pages.Pages(), QStringList{kProductPageUrl});
    QVERIFY(shown.dlg.isVisible());
}

QTEST_MAIN(AboutTest)
#include "test_about.moc"
