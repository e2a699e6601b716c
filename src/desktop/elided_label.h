// A label that, when its room is too narrow, shows its text cut with "…" rather than clipped mid-letter.
#pragma once

#include <QLabel>

namespace quorvane {

class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    // What fits in the label now: the text, or its start and "…".
    QString shownText() const;
    // Any width will do: the text is cut to fit, so a long one never widens the window.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textRect() const;
};

} // namespace quorvane
