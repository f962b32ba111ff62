// The main dialog's window menu with its About entry, and its buttons that open the product's page.
#include <QContextMenuEvent>
#include <QMenu>
#include <QShortcut>

#include "app/AboutDlg.h"
#include "app/VornDlg.h"
#include "platform/WebPage.h"
#include "res/Resource.h"
#include "res/Strings.h"

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
    addCommand(tr(IDS_SYSMENU_ABOUT), ID_SYSMENU_ABOUT);
    // The same menu from the keyboard wherever the focus is (an edit would otherwise show its
    // own), and the About box on F1.
    const auto showMenuAtFocus = [this] {
        QWidget* focus = focusWidget() != nullptr ? focusWidget() : this;
        m_systemMenu->exec(focus->mapToGlobal(QPoint(0, focus->height())));
    };
    for (const QKeySequence keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, showMenuAtFocus);
    }
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            [this] { OnSysCommand(ID_SYSMENU_ABOUT); });
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

void CVornDlg::OnProductPage() {
    OpenWebPage(kProductPageUrl);
}
