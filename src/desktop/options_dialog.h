// TOptions ("Options"): the program's settings, edited and handed back on OK.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "store/program_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quorvane {

class TOptions : public QDialog {
    Q_OBJECT

public:
    explicit TOptions(QWidget* parent = nullptr);

    // Fills the controls; languages are the lang/ file names offered, in order.
    void setSettings(const ProgramSettings& settings, const std::vector<std::string>& languages);
    // The controls' values; the language stays as it was when no entry is chosen.
    ProgramSettings settings() const;

    QCheckBox* MostraComando = nullptr;
    QCheckBox* AvvioNascosto = nullptr;
    QCheckBox* Notifiche = nullptr;
    QCheckBox* ModificaDopoAggiunta = nullptr;
    QCheckBox* IconaSempre = nullptr;
    QCheckBox* AvvioAccesso = nullptr;
    QLabel* LabelLingua = nullptr;
    QComboBox* Lingua = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* AnnullaBtn = nullptr;

private:
    ProgramSettings m_loaded;
};

// "english.lng" → "English": what the language list shows.
QString languageDisplayName(const std::string& fileName);

} // namespace quorvane
