// QtTrayBackend: one QSystemTrayIcon; its activations become the mouse messages of TTrayIcon.
#include "desktop/qt_tray_backend.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>

#include "desktop/tray_icon.h"

namespace quorvane {

namespace {

ShiftState currentKeys() {
    const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    ShiftState keys = 0;
    if (mods & Qt::ShiftModifier)
        keys |= ssShift;
    if (mods & Qt::ControlModifier)
        keys |= ssCtrl;
    if (mods & Qt::AltModifier)
        keys |= ssAlt;
    return keys;
}

} // namespace

QtTrayBackend::QtTrayBackend(TTrayIcon& owner) : m_owner(owner), m_icon(new QSystemTrayIcon(this)) {
    // Queued: a command run from the icon (a menu item that restores the window) hides the icon, which
    // on X11 destroys the tray widget whose mouse handler is still on the stack.
    connect(m_icon, &QSystemTrayIcon::activated, this, &QtTrayBackend::onActivated, Qt::QueuedConnection);
}

QtTrayBackend::~QtTrayBackend() {
    m_icon->hide();
}

bool QtTrayBackend::add(const QIcon& icon, const QString& tip) {
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_icon->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayBackend::modify(const QIcon& icon, const QString& tip) {
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
}

void QtTrayBackend::remove() {
    m_icon->hide();
}

void QtTrayBackend::notify(const QString& title, const QString& text, bool warning) {
    if (m_icon->isVisible() && QSystemTrayIcon::supportsMessages())
        m_icon->showMessage(title, text, warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

QPoint QtTrayBackend::cursorPos() const {
    return QCursor::pos();
}

void QtTrayBackend::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // Qt reports whole clicks; each becomes the press and release the component's state machine expects.
    const ShiftState keys = currentKeys();
    auto press = [&](TrayMouseMessage down, TrayMouseMessage up) {
        // A handler of the first message may destroy the component, and with it this backend.
        QPointer<QtTrayBackend> alive(this);
        m_owner.handleMouseMessage(down, keys);
        if (alive)
            m_owner.handleMouseMessage(up, keys);
    };
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        press(TrayMouseMessage::LButtonDown, TrayMouseMessage::LButtonUp);
        break;
    case QSystemTrayIcon::DoubleClick:
        press(TrayMouseMessage::LButtonDblClk, TrayMouseMessage::LButtonUp);
        break;
    case QSystemTrayIcon::Context:
        press(TrayMouseMessage::RButtonDown, TrayMouseMessage::RButtonUp);
        break;
    case QSystemTrayIcon::MiddleClick:
        press(TrayMouseMessage::MButtonDown, TrayMouseMessage::MButtonUp);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace quorvane
