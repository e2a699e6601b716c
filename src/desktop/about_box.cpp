// The about box.
#include "desktop/about_box.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/artwork.h"

namespace quorvane {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

LinkLabel::LinkLabel(const QString& caption, const QString& url, QWidget* parent)
    : QLabel(caption, parent), m_url(url) {
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    QPalette linkColours = palette();
    linkColours.setColor(QPalette::WindowText, linkColours.color(QPalette::Link));
    setPalette(linkColours);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        QDesktopServices::openUrl(QUrl(m_url));
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Quorvane"));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);

    ProgramIcon = makeLabel(Panel1, "ProgramIcon", QString());
    ProgramIcon->setPixmap(programIcon().pixmap(32, 32));
    ProgramIcon->setFixedSize(32, 32);
    ProductName = makeLabel(Panel1, "ProductName", QStringLiteral("Quorvane SSH"));
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    ProductName->setFont(bold);
    Version = makeLabel(Panel1, "Version", QStringLiteral("1.0"));
    Label1 = makeLabel(Panel1, "Label1", QStringLiteral("Quorvane require PUTTY."));
    const QString mail = QString::fromLatin1(kMailAddress);
    LinkLabel1 = new LinkLabel(QStringLiteral("Email: ") + mail, QStringLiteral("mailto:") + mail, Panel1);
    LinkLabel1->setObjectName(QStringLiteral("LinkLabel1"));
    const QString web = QString::fromLatin1(kWebAddress);
    LinkLabel2 = new LinkLabel(web, web, Panel1);
    LinkLabel2->setObjectName(QStringLiteral("LinkLabel2"));
    Copyright = makeLabel(Panel1, "Copyright", QStringLiteral("The Quorvane developers, 2006"));

    auto* heading = new QHBoxLayout;
    heading->addWidget(ProgramIcon);
    heading->addWidget(ProductName, 1);
    auto* panel = new QVBoxLayout(Panel1);
    panel->addLayout(heading);
    panel->addWidget(Version);
    panel->addWidget(Label1);
    panel->addSpacing(8);
    panel->addWidget(LinkLabel1);
    panel->addWidget(LinkLabel2);
    panel->addSpacing(8);
    panel->addWidget(Copyright);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* page = new QVBoxLayout(this);
    page->addWidget(Panel1);
    page->addWidget(OKButton, 0, Qt::AlignHCenter);
    page->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace quorvane
