// The main dialog's window menu with its video options, frame browser and About entries (also
// behind its More button), and its buttons that open the product's page.
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>

#include "app/AboutDlg.h"
#include "app/VornDlg.h"
#include "panel/FramesDlg.h"
#include "panel/ScheduleDlg.h"
#include "panel/VideoControls.h"
#include "panel/VideoOptionsDlg.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "widgets/DialogControls.h"
#include "widgets/MessageBox.h"
#include "widgets/WebPage.h"

namespace {

constexpr int kSystemCommandMask = 0xFFF0;  // the system keeps the lowest four bits for itself

}  // namespace

void CVornDlg::CreateSystemMenu() {
    if (m_systemMenu != nullptr) {
        return;
    }
    m_systemMenu = new QMenu(this);
    auto addCommand = [this](const QString& text, int id) {
        connect(m_systemMenu->addAction(text), &QAction::triggered, this,
                [this, id] { OnSysCommand(id); });
    };
    addCommand(tr("Mi&nimise"), SC_MINIMIZE);
    addCommand(tr("&Close"), SC_CLOSE);
    m_systemMenu->addSeparator();
    addCommand(tr(IDS_VIDEO_OPTIONS), ID_SYSMENU_VIDEO_OPTIONS);
    addCommand(tr("Schedule and &camera..."), ID_SYSMENU_SCHEDULE);
    addCommand(tr("&Frames..."), ID_SYSMENU_FRAMES);
    addCommand(tr(IDS_SYSMENU_ABOUT), ID_SYSMENU_ABOUT);
    // Also a button's, for whoever never right-clicks: one menu, one set of entries.
    GetDlgItemAs<QPushButton>(*this, IDC_MORE)->setMenu(m_systemMenu);
}

void CVornDlg::keyPressEvent(QKeyEvent* event) {
    // Keys no control took: the About box on F1, and the window's menu from the keyboard.
    const bool menuKey = event->key() == Qt::Key_Menu ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (event->key() == Qt::Key_F1) {
        OnSysCommand(ID_SYSMENU_ABOUT);
    } else if (menuKey && m_systemMenu != nullptr) {
        QWidget* focus = focusWidget() != nullptr ? focusWidget() : this;
        m_systemMenu->exec(focus->mapToGlobal(QPoint(0, focus->height())));
    } else {
        QDialog::keyPressEvent(event);
    }
}

void CVornDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (m_systemMenu != nullptr) {
        m_systemMenu->exec(event->globalPos());
    }
}

void CVornDlg::OnSysCommand(int id) {
    switch (id & kSystemCommandMask) {
        case ID_SYSMENU_ABOUT: {
            CAboutDlg dlgAbout(this);
            dlgAbout.exec();
            break;
        }
        case ID_SYSMENU_VIDEO_OPTIONS:
            OnVideoOptions();
            break;
        case ID_SYSMENU_FRAMES:
            OnFrames();
            break;
        case ID_SYSMENU_SCHEDULE: {
            // Stored in the settings file; the next run takes them.
            ScheduleDlg dlgSchedule(this);
            dlgSchedule.exec();
            break;
        }
        case SC_MINIMIZE:
            showMinimized();
            break;
        case SC_CLOSE:
            close();
            break;
        default:
            break;
    }
}

void CVornDlg::OnVideoOptions() {
    VideoOptions options = m_session.m_videoOptions;
    if (ChooseVideoOptions(this, options) && !m_session.SetVideoOptions(options)) {
        ShowMessageBox(tr(kCannotStoreVideoOptions));
    }
}

void CVornDlg::OnFrames() {
    if (m_framesDlg != nullptr) {
        m_framesDlg->raise();
        m_framesDlg->activateWindow();
        return;
    }
    const auto [first, last] = m_videoControls->RangeFrameNumbers();
    m_framesDlg =
        new FramesDlg(m_session.GetFrameDir(), m_session.DayRulesOfSettings(), first, last, this);
    connect(m_framesDlg, &FramesDlg::RangeChosen, m_videoControls, &VideoControls::ShowChosenRange);
    m_framesDlg->show();
}

void CVornDlg::OnProductPage() {
    OpenWebPage(kProductPageUrl);
}
