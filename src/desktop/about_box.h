// TAboutBox ("AboutBox"): the program's name, version and its authors' links.
#pragma once

#include <QDialog>
#include <QLabel>

class QFrame;
class QPushButton;

namespace quorvane {

// A label drawn as a link that opens URL with the desktop's handler when clicked; its caption stays
// plain text, so a language file can translate it like any other label.
class LinkLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString URL READ url WRITE setUrl)

public:
    LinkLabel(const QString& caption, const QString& url, QWidget* parent);

    QString url() const { return m_url; }
    void setUrl(const QString& url) { m_url = url; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_url;
};

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kWebAddress = "https://quorvane.example.org/";
    static constexpr const char* kMailAddress = "quorvane@example.org";

    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Label1 = nullptr;
    LinkLabel* LinkLabel1 = nullptr;
    LinkLabel* LinkLabel2 = nullptr;
    QLabel* Copyright = nullptr;
    QPushButton* OKButton = nullptr;
};

} // namespace quorvane
