// The running program as the command runner's host: its window's boxes, and its words.
#pragma once

#include <QTimer>

#include "app/main_window.h"
#include "app/window_messages.h"
#include "cli/command_runner.h"

namespace quorvane {

class WindowCommandHost : public CommandHost {
public:
    // Not owned; both must outlive the host.
    WindowCommandHost(TMain& main, const WindowMessages& texts) : m_main(main), m_texts(texts) {}

    bool busy() const override { return m_main.busy(); }
    void show() override { m_main.Visualizza1Click(); }
    const MessageSource& texts() const override { return m_texts; }
    bool runsLater(std::chrono::milliseconds wait, std::function<void()> look) override {
        QTimer::singleShot(wait, &m_main, std::move(look));
        return true;
    }

private:
    TMain& m_main;
    const WindowMessages& m_texts;
};

} // namespace quorvane
