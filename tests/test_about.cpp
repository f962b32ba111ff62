#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/AboutDlg.h"
#include "panel/FramesDlg.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Version.h"
#include "support/Captions.h"
#include "support/DialogBench.h"
#include "support/PageRecorder.h"
#include "widgets/DialogControls.h"

namespace {

// A main dialog that has been through its start-up and is on screen.
struct ShownDialog : DialogBench {
    ShownDialog() {
        dlg->OnInitDialog();
        dlg->show();
    }
};

// Once a popup menu shows, hands it to `handle`, which must close it.
void WhenMenuShows(const std::function<void(QMenu&)>& handle) {
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

// Right-clicks the dialog where no control is, through the window as the window system delivers
// it, so that Qt makes the menu event that opens the dialog's own context menu.
void RightClickDialog(CVornDlg& dlg) {
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, {}, QPoint(3, 3));
}

}  // namespace

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void aboutCommandOpensAboutBox_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("opens");  // the dialog's class, or empty
        QTest::newRow("the entry's own id") << 16 << "CAboutDlg";
        QTest::newRow("with the system's low bits set") << 0x001F << "CAboutDlg";
        QTest::newRow("below the entry") << 0x000F << "";
        QTest::newRow("the video options above it") << 0x0020 << "VideoOptionsDlg";
        QTest::newRow("Schedule and camera") << 0x0030 << "ScheduleDlg";
        QTest::newRow("above every entry") << 0x0050 << "";
    }

    void aboutCommandOpensAboutBox() {
        QFETCH(int, command);
        QFETCH(QString, opens);
        ShownDialog shown;
        QStringList opened;
        shown.answerer.SetDialogHandler([&](QWidget* modal) {
            opened << modal->metaObject()->className();
            Click(*modal, IDOK);
        });
        shown->OnSysCommand(command);
        QCOMPARE(opened, opens.isEmpty() ? QStringList() : QStringList{opens});
        QVERIFY(shown->isVisible());
        QVERIFY(!shown->isMinimized());
    }

    // From the keyboard wherever the focus is: F1 opens the About box, the Menu key and
    // Shift+F10 the window's own menu (not an edit's).
    void aboutAndMenuFromTheKeyboard_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("opened");
        QTest::newRow("F1") << int(Qt::Key_F1) << int(Qt::NoModifier) << "CAboutDlg";
        QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier) << "&About Vorn...";
        QTest::newRow("Shift+F10")
            << int(Qt::Key_F10) << int(Qt::ShiftModifier) << "&About Vorn...";
    }

    void aboutAndMenuFromTheKeyboard() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, opened);
        ShownDialog shown;
        QString seen;
        shown.answerer.SetDialogHandler([&](QWidget* modal) {
            seen = modal->metaObject()->className();
            Click(*modal, IDOK);
        });
        if (key != Qt::Key_F1) {  // the poll ends only once a menu shows
            WhenMenuShows([&](QMenu& menu) {
                seen = menu.actions().last()->text();
                menu.close();
            });
        }
        QWidget* edit = GetDlgItem(*shown, IDC_START_FRAME);
        shown->activateWindow();
        edit->setFocus();
        // As the window system delivers it, so that the window's shortcuts see it.
        QTest::keyClick(shown->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_COMPARE(seen, opened);
    }

    // The right click and the More button show the one menu of the window.
    void contextMenuOffersWindowCommandsThenAbout_data() {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("right click") << false;
        QTest::newRow("More button") << true;
    }

    void contextMenuOffersWindowCommandsThenAbout() {
        QFETCH(bool, byButton);
        ShownDialog shown;
        QStringList entries;
        QMenu* shownMenu = nullptr;
        WhenMenuShows([&](QMenu& menu) {
            shownMenu = &menu;
            for (const QAction* action : menu.actions()) {
                entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
            }
            menu.close();
        });
        if (byButton) {
            QCOMPARE(Caption(*shown, IDC_MORE), QString("&More"));
            Click(*shown, IDC_MORE);
        } else {
            RightClickDialog(*shown);
        }
        QTRY_VERIFY(shownMenu);
        QCOMPARE(shownMenu, shown->WindowMenu());
        QCOMPARE(entries, (QStringList{"Mi&nimise", "&Close", "-", "&Video options...",
                                       "Schedule and &camera...", "&Frames...", "&About Vorn..."}));
        QCOMPARE(entries.last(), QString(IDS_SYSMENU_ABOUT));
        QVERIFY(shown->isVisible());
    }

    void contextMenuEntryDoesItsCommand_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("title");  // of the dialog it opens
        QTest::newRow("About") << QString(IDS_SYSMENU_ABOUT) << "About Vorn";
        QTest::newRow("Video options") << QString(IDS_VIDEO_OPTIONS) << "Video options";
        QTest::newRow("Schedule and camera") << "Schedule and &camera..."
                                             << "Schedule and camera";
        QTest::newRow("Frames") << "&Frames..."
                                << "Frames";
        QTest::newRow("Close") << "&Close"
                               << "";
        QTest::newRow("Minimise") << "Mi&nimise"
                                  << "";
    }

    void contextMenuEntryDoesItsCommand() {
        QFETCH(QString, entry);
        QFETCH(QString, title);
        ShownDialog shown;
        QString opened;
        shown.answerer.SetDialogHandler([&](QWidget* modal) {
            opened = modal->windowTitle();
            Click(*modal, IDOK);
        });
        WhenMenuShows([entry](QMenu& menu) { ClickEntry(menu, entry); });
        RightClickDialog(*shown);
        if (entry == "&Close") {  // ends the dialog without data exchange
            QTRY_VERIFY(!shown->isVisible());
            QCOMPARE(shown->result(), int(QDialog::Rejected));
            QVERIFY(shown.answerer.Messages().isEmpty());
        } else if (entry == "Mi&nimise") {
            QTRY_VERIFY(shown->isMinimized());
        } else if (entry == "&Frames...") {  // beside the window, not modal
            QWidget* frames = nullptr;
            QTRY_VERIFY((frames = shown->findChild<FramesDlg*>()) && frames->isVisible());
            QCOMPARE(frames->windowTitle(), title);
            QVERIFY(!frames->isModal());
        } else {
            QTRY_COMPARE(opened, title);
            QVERIFY(shown->isVisible());
        }
    }

    void aboutBoxShowsIconVersionAndNotice() {
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
        QCOMPARE(texts, (QStringList{"Vorn Version " VORN_VERSION, kNoticeLine}));
        QVERIFY(icon);
        QCOMPARE(icon->pixmap().toImage(), QPixmap(IDR_MAINFRAME).toImage());
        QCOMPARE(Caption(about, IDC_USER_GROUP), QString(kUserGroupUrl));
        QVERIFY(GetDlgItemAs<QPushButton>(about, IDOK)->isDefault());
        QCOMPARE(ClippedCaptions(about).join("; "), QString());
    }

    void titleBarShowsTheVersionOfTheAboutBox() {
        DialogBench bench;
        QCOMPARE(bench->windowTitle(), QString("Vorn V" VORN_VERSION));
    }

    void aboutBoxClosesWithOkEnterOrEscape_data() {
        using Close = std::function<void(QDialog&)>;
        QTest::addColumn<Close>("close");
        QTest::newRow("OK") << Close([](QDialog& box) { Click(box, IDOK); });
        QTest::newRow("Enter") << Close(
            [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); });
        QTest::newRow("Escape") << Close(
            [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    }

    void aboutBoxClosesWithOkEnterOrEscape() {
        QFETCH(std::function<void(QDialog&)>, close);
        ShownDialog shown;
        const int fps = shown->Session().m_fpsTenths;
        const int endFrame = shown->Session().m_endFrame;
        int answered = 0;
        shown.answerer.SetDialogHandler([&](QWidget* modal) {
            ++answered;
            close(*qobject_cast<QDialog*>(modal));
        });
        shown->OnSysCommand(ID_SYSMENU_ABOUT);
        QCOMPARE(answered, 1);
        QVERIFY(shown->isVisible());
        QCOMPARE(shown->Session().m_fpsTenths, fps);
        QCOMPARE(shown->Session().m_endFrame, endFrame);
    }

    void aboutLinkOpensUserGroupPageAndStaysOpen() {
        ShownDialog shown;
        PageRecorder pages;
        bool openAfterClick = false;
        shown.answerer.SetDialogHandler([&](QWidget* modal) {
            Click(*modal, IDC_USER_GROUP);
            openAfterClick = modal->isVisible();
            Click(*modal, IDOK);
        });
        shown->OnSysCommand(ID_SYSMENU_ABOUT);
        QVERIFY(openAfterClick);
        QCOMPARE(pages.Pages(), QStringList{kUserGroupUrl});
    }

    void helpAndNoticeOpenProductPage_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("Help") << IDC_HELP_PAGE;
        QTest::newRow("notice") << IDC_NOTICE;
    }

    void helpAndNoticeOpenProductPage() {
        QFETCH(int, button);
        ShownDialog shown;
        PageRecorder pages;
        Click(*shown, button);
        QCOMPARE(pages.Pages(), QStringList{kProductPageUrl});
        QVERIFY(shown->isVisible());
    }
};

QTEST_MAIN(AboutTest)
#include "test_about.moc"
