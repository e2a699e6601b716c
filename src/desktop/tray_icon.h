// TTrayIcon: one icon with a tooltip in the notification area, its mouse messages turned into events.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "desktop/tray_backend.h"

namespace quorvane {

enum class MouseButton { Left, Right, Middle };

// Shift state: a set of these bits.
enum ShiftFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using ShiftState = unsigned;

// The mouse messages the notification area reports for the icon.
enum class TrayMouseMessage {
    MouseMove,
    LButtonDown,
    LButtonUp,
    LButtonDblClk,
    RButtonDown,
    RButtonUp,
    RButtonDblClk,
    MButtonDown,
    MButtonUp,
    MButtonDblClk,
};

class TTrayIcon : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)

public:
    using MouseEvent = std::function<void(QObject* sender, MouseButton, ShiftState, int x, int y)>;
    using MouseMoveEvent = std::function<void(QObject* sender, ShiftState, int x, int y)>;
    using NotifyEvent = std::function<void(QObject* sender)>;

    static constexpr int kMaxTipChars = 63;

    // The backend defaults to the Qt notification area; tests pass a fake. The component owns the
    // backend. Construction adds nothing; Loaded() adds when Active. Like any refresh, giving an
    // active component a picture adds it at once.
    explicit TTrayIcon(QObject* owner, std::unique_ptr<TrayBackend> backend = {});
    ~TTrayIcon() override;

    void Loaded(); // the owner has set the properties: add the icon when Active

    bool Active() const { return m_active; }
    void SetActive(bool value);
    void ShowIcon() { SetActive(true); }
    void HideIcon() { SetActive(false); }

    QString Hint() const { return m_hint; }
    void SetHint(const QString& text);
    QString shortHint() const; // the status, or the hint before the first '|'; at most 63 characters
    QString hintTitle() const; // the hint before the first '|'
    // Words shown in place of the hint (the tunnels' counts); the hint stays their base. Empty: the hint.
    void SetStatus(const QString& text);

    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);

    // Not owned; cleared by itself when the menu is destroyed.
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu);
    bool autoPopup() const { return m_autoPopup; }
    void setAutoPopup(bool on) { m_autoPopup = on; }

    // A balloon from the icon while it is in the notification area; nothing otherwise.
    void ShowBalloon(const QString& title, const QString& text, bool warning = false);
    bool isIconShown() const { return m_iconShown; } // false after a refused add, until a retry succeeds

    MouseEvent OnClick;
    NotifyEvent OnDblClick;
    MouseMoveEvent OnMouseMove;
    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;

    // The callback message: feeds one mouse message of the icon into the state machine.
    // Exceptions from handlers go to the application's error box, never out of here.
    void handleMouseMessage(TrayMouseMessage message, ShiftState keys = 0);

    // Opens the popup menu; overridable so tests can see it without a real menu loop.
    virtual void openPopup(const QPoint& at);

private:
    void dispatch(TrayMouseMessage message, ShiftState keys);
    void AddToTray();
    void RemoveFromTray();
    void RefreshTray();
    bool Popup(int x, int y);
    void Click(MouseButton button, ShiftState shift, int x, int y);
    void DblClick();

    std::unique_ptr<TrayBackend> m_backend;
    bool m_active = true;
    QString m_hint;
    QString m_status;
    QIcon m_icon;
    QPointer<QMenu> m_popupMenu;
    bool m_autoPopup = true;
    bool m_iconShown = false;
    bool m_leftPending = false;
    bool m_rightPending = false;
    bool m_destroying = false;
};

} // namespace quorvane
