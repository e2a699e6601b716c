// The licence text viewer.
#include "desktop/licence_viewer.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "store/file_system.h"
#include "store/text_codec.h"

namespace quorvane {

Tlicence::Tlicence(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("licence"));
    setWindowTitle(QStringLiteral("licence"));
    Memo1 = new QPlainTextEdit(QStringLiteral("Memo1"), this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFixedSize(560, 380);
    Button1 = new QPushButton(QStringLiteral("Chiudi"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Memo1);
    page->addLayout(buttons);
    page->setSizeConstraint(QLayout::SetFixedSize);
}

void Tlicence::load(const QString& caption, const std::string& path) {
    setWindowTitle(caption);
    Memo1->clear();
    std::string bytes;
    if (!fs::readFileBytes(path, bytes)) {
        const int error = errno;
        throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(error ? error : ENOENT));
    }
    Memo1->setPlainText(QString::fromStdString(decodeFileText(bytes)));
}

} // namespace quorvane
