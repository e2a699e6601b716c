// The running program as the command runner's host: its window's boxes, and its words.
#pragma once

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

private:
    TMain& m_main;
    const WindowMessages& m_texts;
};

} // namespace quorvane
