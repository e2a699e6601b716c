// TTrayIcon: keeps the notification-area icon in step with its properties and turns mouse messages into events.
#include "desktop/tray_icon.h"

#include <QAction>
#include <QVariant>
#include <QWidget>

#include "desktop/dialog_service.h"
#include "desktop/qt_tray_backend.h"

namespace quorvane {

TTrayIcon::TTrayIcon(QObject* owner, std::unique_ptr<TrayBackend> backend)
    : QObject(owner), m_backend(std::move(backend)) {
    if (!m_backend)
        m_backend = std::make_unique<QtTrayBackend>(*this);
}

TTrayIcon::~TTrayIcon() {
    m_destroying = true;
    RemoveFromTray();
}

void TTrayIcon::Loaded() {
    if (m_active)
        AddToTray();
}

void TTrayIcon::SetActive(bool value) {
    if (value == m_active)
        return;
    m_active = value;
    if (m_active)
        AddToTray();
    else
        RemoveFromTray();
}

void TTrayIcon::SetHint(const QString& text) {
    if (text == m_hint)
        return;
    m_hint = text;
    RefreshTray();
}

QString TTrayIcon::hintTitle() const {
    const qsizetype bar = m_hint.indexOf(u'|');
    return bar < 0 ? m_hint : m_hint.left(bar);
}

QString TTrayIcon::shortHint() const {
    return (m_status.isEmpty() ? hintTitle() : m_status).left(kMaxTipChars);
}

void TTrayIcon::SetStatus(const QString& text) {
    if (text == m_status)
        return;
    m_status = text;
    RefreshTray();
}

void TTrayIcon::SetIcon(const QIcon& icon) {
    // Any assignment counts as a change, even of an equal picture: the shell gets the icon again.
    m_icon = icon;
    RefreshTray();
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
    m_popupMenu = menu;
}

void TTrayIcon::AddToTray() {
    RemoveFromTray();
    if (m_icon.isNull())
        return;
    m_leftPending = false;
    m_rightPending = false;
    m_iconShown = m_backend->add(m_icon, shortHint());
}

void TTrayIcon::RemoveFromTray() {
    m_backend->remove();
    m_iconShown = false;
    m_leftPending = false;
    m_rightPending = false;
}

void TTrayIcon::RefreshTray() {
    if (m_iconShown) {
        if (m_icon.isNull())
            RemoveFromTray();
        else
            m_backend->modify(m_icon, shortHint());
    }
    // A refused add is retried here, so the icon shows up once the notification area accepts it.
    if (!m_iconShown && m_active)
        AddToTray();
}

void TTrayIcon::handleMouseMessage(TrayMouseMessage message, ShiftState keys) {
    // Only the modifier keys come from outside; button bits are ours to add.
    keys &= ssShift | ssAlt | ssCtrl;
    runCommand([&] { dispatch(message, keys); });
}

void TTrayIcon::dispatch(TrayMouseMessage message, ShiftState keys) {
    const QPoint at = m_backend->cursorPos();
    const int x = at.x();
    const int y = at.y();
    auto down = [&](MouseButton button, ShiftState shift) {
        if (OnMouseDown)
            OnMouseDown(this, button, shift, x, y);
    };
    auto up = [&](MouseButton button, ShiftState shift) {
        if (OnMouseUp)
            OnMouseUp(this, button, shift, x, y);
    };

    switch (message) {
    case TrayMouseMessage::MouseMove:
        if (OnMouseMove)
            OnMouseMove(this, keys, x, y);
        break;
    case TrayMouseMessage::LButtonDown:
        down(MouseButton::Left, keys | ssLeft);
        m_leftPending = true;
        break;
    case TrayMouseMessage::LButtonUp:
        if (m_leftPending) {
            m_leftPending = false;
            Click(MouseButton::Left, keys | ssLeft, x, y);
        }
        up(MouseButton::Left, keys | ssLeft);
        break;
    case TrayMouseMessage::LButtonDblClk:
        DblClick();
        down(MouseButton::Left, keys | ssDouble);
        break;
    case TrayMouseMessage::RButtonDown:
        down(MouseButton::Right, keys | ssRight);
        m_rightPending = true;
        break;
    case TrayMouseMessage::RButtonUp:
        if (m_rightPending) {
            m_rightPending = false;
            Click(MouseButton::Right, keys | ssRight, x, y);
        }
        up(MouseButton::Right, keys | ssRight);
        break;
    case TrayMouseMessage::RButtonDblClk:
        down(MouseButton::Right, keys | ssDouble);
        break;
    case TrayMouseMessage::MButtonDown:
        down(MouseButton::Middle, keys | ssMiddle);
        break;
    case TrayMouseMessage::MButtonUp:
        up(MouseButton::Middle, keys | ssMiddle);
        break;
    case TrayMouseMessage::MButtonDblClk:
        down(MouseButton::Middle, keys | ssDouble);
        break;
    }
}

void TTrayIcon::Click(MouseButton button, ShiftState shift, int x, int y) {
    if (button == MouseButton::Right && Popup(x, y))
        return;
    if (OnClick)
        OnClick(this, button, shift, x, y);
}

bool TTrayIcon::Popup(int x, int y) {
    if (!m_active || !m_popupMenu || !m_autoPopup)
        return false;
    // Handlers of the menu's actions can ask which component opened it.
    m_popupMenu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
    // A window still holding the mouse would swallow the menu's clicks.
    if (!m_destroying) {
        if (QWidget* grabber = QWidget::mouseGrabber())
            grabber->releaseMouse();
    }
    openPopup(QPoint(x, y));
    return true;
}

void TTrayIcon::openPopup(const QPoint& at) {
    if (m_popupMenu)
        m_popupMenu->exec(at);
}

void TTrayIcon::DblClick() {
    if (m_active && m_popupMenu && !m_popupMenu->actions().isEmpty()) {
        QAction* preferred = m_popupMenu->defaultAction();
        if (preferred && preferred->isEnabled() && m_popupMenu->actions().contains(preferred)) {
            preferred->trigger();
            return;
        }
    }
    if (OnDblClick)
        OnDblClick(this);
}

void TTrayIcon::ShowBalloon(const QString& title, const QString& text, bool warning) {
    if (m_iconShown)
        m_backend->notify(title, text, warning);
}

} // namespace quorvane
