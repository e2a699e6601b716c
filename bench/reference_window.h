// What a user would otherwise run to see a list of tunnels: a bare Qt window with three menus, an icon-mode list
// of one 32 px picture and a caption per tunnel, a status bar, and a tray icon with a menu. Nothing is read but
// the folder's names.
#pragma once

#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QSystemTrayIcon>

namespace quorvane::bench {

class ReferenceWindow : public QMainWindow {
public:
    explicit ReferenceWindow(const QString& tunnelsDir) {
        for (const char* title : {"&File", "&Tunnels", "&Help"}) {
            QMenu* menu = menuBar()->addMenu(QString::fromLatin1(title));
            menu->addAction(QStringLiteral("Open"));
            menu->addAction(QStringLiteral("Close"));
        }
        QPixmap picture(32, 32);
        picture.fill(Qt::darkGreen);
        const QIcon icon(picture);
        auto* list = new QListWidget(this);
        list->setViewMode(QListView::IconMode);
        list->setIconSize(QSize(32, 32));
        list->setResizeMode(QListView::Adjust);
        for (const QString& name : QDir(tunnelsDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            list->addItem(new QListWidgetItem(icon, name));
        setCentralWidget(list);
        for (const char* text : {"Ready", "Connected", "Disconnected"})
            statusBar()->addWidget(new QLabel(QString::fromLatin1(text), this));
        auto* trayMenu = new QMenu(this);
        trayMenu->addAction(QStringLiteral("Show"));
        trayMenu->addAction(QStringLiteral("Exit"));
        m_tray.setIcon(icon);
        m_tray.setContextMenu(trayMenu);
        m_tray.show();
        // The program's first size: a window of Qt's default size would paint a quarter of the area.
        resize(560, 420);
    }

private:
    QSystemTrayIcon m_tray;
};

} // namespace quorvane::bench
