// TKeyGenerator ("KeyGenerator"): makes a PuTTY key file and shows its public line to copy.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "process/key_generator.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvane {

class TKeyGenerator : public QDialog {
    Q_OBJECT

public:
    using Generator = std::function<KeyResult(const std::string& puttygenPath, const KeyRequest& request)>;

    explicit TKeyGenerator(QString puttygenPath, Generator generator = generateKey, QWidget* parent = nullptr);

    // Where the browse dialog opens and where a file name without a folder goes.
    void setDefaultFolder(const QString& folder) { m_defaultFolder = folder; }

    // The key file the last successful generation saved, empty before one.
    const QString& lastSaved() const { return m_lastSaved; }

    // Commands, named after the control and event they are bound to.
    void TipoChiaveChange();
    void SfogliaClick();
    void GeneraClick();
    void CopiaClick();

    // The translatable text of the hidden message label of that name (empty for an unknown name).
    QString message(const char* name) const;

    QLabel* LabelTipo = nullptr;
    QComboBox* TipoChiave = nullptr;
    QLabel* LabelBit = nullptr;
    QComboBox* Bit = nullptr;
    QLabel* LabelCommento = nullptr;
    QLineEdit* Commento = nullptr;
    QLabel* LabelPassphrase = nullptr;
    QLineEdit* Passphrase = nullptr;
    QLabel* LabelRipeti = nullptr;
    QLineEdit* RipetiPassphrase = nullptr;
    QLabel* NotaPassphrase = nullptr;
    QLabel* LabelFile = nullptr;
    QLineEdit* FileChiave = nullptr;
    QPushButton* Sfoglia = nullptr;
    QPushButton* Genera = nullptr;
    QLabel* Esito = nullptr;
    QLabel* LabelPubblica = nullptr;
    QPlainTextEdit* ChiavePubblica = nullptr;
    QPushButton* Copia = nullptr;
    QPushButton* Chiudi = nullptr;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void addMessage(const char* name, const QString& text);
    void showOutcome(const QString& text, bool error);
    QString keyFilePath() const;

    QString m_puttygenPath;
    Generator m_generator;
    QString m_defaultFolder;
    QString m_lastSaved;
};

} // namespace quorvane
