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
    // A licence text is a few KiB; a link, pipe or device in its place is named, never read through.
    constexpr std::size_t kMaxLicenceBytes = std::size_t{1} << 20;
    if (const fs::FileStatus status = fs::readFileNoFollow(path, kMaxLicenceBytes, bytes); status != fs::FileStatus::Ok)
        throw std::runtime_error("Cannot open file \"" + path + "\". " +
                                 (status == fs::FileStatus::Missing ? std::string(std::strerror(ENOENT))
                                                                    : fs::fileProblemReason(status, kMaxLicenceBytes)));
    Memo1->setPlainText(QString::fromStdString(decodeFileText(bytes)));
}

} // namespace quorvane
