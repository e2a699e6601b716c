// Fakes of the program's services for window tests: the core fakes, and a notification area that counts its calls.
#pragma once

#include "desktop/tray_backend.h"
#include "support/fake_core_services.h"

namespace quorvane::test {

class FakeTrayBackend : public TrayBackend {
public:
    struct Counts {
        int adds = 0, modifies = 0, removes = 0;
        bool shown = false;
        bool refuse = false; // no notification area
        QString tip;
        QPoint cursor;
    };

    explicit FakeTrayBackend(Counts& counts) : m_counts(counts) {}
    bool add(const QIcon&, const QString& tip) override {
        ++m_counts.adds;
        m_counts.shown = !m_counts.refuse;
        m_counts.tip = tip;
        return m_counts.shown;
    }
    void modify(const QIcon&, const QString& tip) override {
        ++m_counts.modifies;
        m_counts.tip = tip;
    }
    void remove() override {
        ++m_counts.removes;
        m_counts.shown = false;
    }
    QPoint cursorPos() const override { return m_counts.cursor; }

private:
    Counts& m_counts;
};

} // namespace quorvane::test
