// TShowTunn ("ShowTunn"): the tunnel editor dialog, also the holder of the last loaded definition.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "store/program_approvals.h"
#include "store/tunnel_definition.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QToolButton;
class QFileDialog;

namespace quorvane {

class TfMessage;

class TShowTunn : public QDialog {
    Q_OBJECT

public:
    explicit TShowTunn(QWidget* parent = nullptr);

    // The dial-up entry picker behind SpeedButton4: a name, or nothing when the user cancelled.
    std::function<std::optional<QString>()> pickDialUpEntry;
    void SpeedButton4Click();

    // "&Ok": closes with OK unless a field could not reach the client (see checkConnectFields); then
    // the message names it and the field takes the focus. Texts come from messages when set.
    void Button1Click();
    const TfMessage* messages = nullptr;

    // The key file picker behind SpeedButton1 (OpenDialog1): a key inside tunnelFolder is stored
    // relative to it. tunnelFolder is set by each load.
    void SpeedButton1Click();
    QString tunnelFolder;

    // "Genera...": makes a new key, by default in the tunnel's folder; returns its file, or empty.
    std::function<QString(const QString& folder)> generateKeyIn;
    QPushButton* generachiave = nullptr;

    // The seven key-bound edits and autoconnect, in the load order. A text a new tunnel holds only to
    // say what belongs there shows as the empty field's grey hint, and is saved again while the field
    // stays empty and untyped in.
    void setDefinition(const TunnelDefinition& definition);
    TunnelDefinition definition() const;
    // After setDefinition: whether each program it names is approved for this tunnel. While one is not,
    // the approva box shows; ticked, it approves both fields as they are. A field the user types into or
    // picks a program for is approved by that act alone, the other one not.
    void setProgramsApproved(bool before, bool after);
    // The forwards table's column titles, in the window's language, and what its local port is for each
    // kind, in the order L, R, D (the column's tooltip, and each row's for its own kind).
    void setForwardHeaders(const QStringList& titles, const QStringList& localPortTips);
    // The tunnels the edited one may go through (every other one of the list), the words for going
    // directly, and the choice's tooltip. Before setDefinition.
    void setJumpChoices(const QStringList& tunnels, const QString& direct, const QString& hint);
    // Whether OK approves the slot's field as it then holds. The "Apri" program is approved by typing it in.
    bool approves(ProgramSlot slot) const;

    // Field-to-key bound edits.
    QLineEdit* mxflatmaskedit1 = nullptr; // IpServer
    QLineEdit* mxflatmaskedit2 = nullptr; // PortaServer
    QLineEdit* mxflatedit1 = nullptr;     // Username
    QLineEdit* mxflatedit2 = nullptr;     // Password
    QLineEdit* mxflatmaskedit5 = nullptr; // PortaLocale
    QLineEdit* mxflatmaskedit3 = nullptr; // IpServizio
    QLineEdit* mxflatmaskedit4 = nullptr; // PortaServizio
    QCheckBox* autoconnect = nullptr;     // AutoConnessione
    QCheckBox* debug = nullptr;           // client in a visible window
    QLineEdit* hostkey = nullptr;         // HostKey, read-only: set at first contact, cleared by forgethostkey
    QCheckBox* reconnect = nullptr;       // Riconnessione
    QLabel* sondatitle = nullptr;
    QSpinBox* sonda = nullptr; // Sonda
    QLabel* hostkeytitle = nullptr;
    QPushButton* forgethostkey = nullptr;
    QLabel* passapertitle = nullptr;
    QComboBox* passaper = nullptr; // PassaPer: the first entry is "directly", its data empty

    QGroupBox* serversshtitle = nullptr;
    QGroupBox* authserverssshtitle = nullptr;
    QGroupBox* tunnellsshtitle = nullptr;
    QGroupBox* autoconnecttitle = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* ipaddress = nullptr;
    QLabel* port = nullptr;
    QLabel* useraccount = nullptr;
    QLabel* password = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* Localport = nullptr;
    QLabel* ipservice = nullptr;
    QLabel* portservice = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr; // dynamic forward: a SOCKS proxy on the local port
    QLabel* keyhint = nullptr;
    QGroupBox* GroupBox2 = nullptr;  // "Altri inoltri"
    QTableWidget* inoltri = nullptr; // Inoltri: kind (L, R, D), local port, address, port
    QPushButton* aggiungiinoltro = nullptr;
    QPushButton* rimuoviinoltro = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QLabel* prima = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* dopo = nullptr;
    QLineEdit* Edit3 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QCheckBox* approva = nullptr;   // shown only while a program is not approved
    QGroupBox* GroupBox3 = nullptr; // what to open once connected
    QLabel* apri = nullptr;
    QLineEdit* Edit5 = nullptr;               // Apri
    QLabel* aprihint = nullptr;               // what Edit5 may hold, and the port's placeholder
    QCheckBox* apriallaconnessione = nullptr; // ApriAllaConnessione
    QPushButton* Button1 = nullptr;           // "&Ok"
    QPushButton* Button2 = nullptr;           // "&Annulla"
    QFileDialog* OpenDialog1 = nullptr;       // null until the first key file pick
    // A component made on first use (OpenDialog1), for what the language file says of it.
    std::function<void(QObject* made)> componentMade;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void pickProgram(QLineEdit* field); // SpeedButton2 and SpeedButton3
    void programEditedByUser(ProgramSlot slot);
    void showApprovalBox();
    bool m_approved[2] = {true, true};    // by slot: as loaded
    bool m_edited[2] = {false, false};    // by slot: typed or picked since the load
    bool m_openEdited = false;            // Edit5 typed in since the load
    void setKeyFile(const QString& path); // relative to tunnelFolder when inside it
    void showLocalPortTip(int row);
    void buildControls();

    struct TextField {
        QLineEdit* edit;
        std::string TunnelDefinition::*value;
    };
    std::vector<TextField> m_textFields; // the seven key-bound edits
    QStringList m_localPortTips;
};

} // namespace quorvane
