// Tlicence ("licence"): the modal viewer of a licence text file.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace quorvane {

class Tlicence : public QDialog {
    Q_OBJECT

public:
    explicit Tlicence(QWidget* parent = nullptr);

    // Sets the caption, clears the text and loads the file (8-bit text, UTF-8 or Windows-1252).
    // Throws std::runtime_error ("Cannot open file ...") when the file cannot be read; the viewer then
    // keeps the new caption and an empty text and is not shown.
    void load(const QString& caption, const std::string& path);

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;
};

} // namespace quorvane
