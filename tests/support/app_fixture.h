// A portable folder in a temporary directory with the program's windows built on fake services.
#pragma once

#include <memory>

#include "app/application.h"
#include "support/fake_services.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

namespace quorvane::test {

class AppFixture {
public:
    // A working folder with "tunnells/" and a "plink.exe"; the process table and the launcher are fakes
    // unless realProcesses is set.
    explicit AppFixture(bool realProcesses = false);
    ~AppFixture();

    void buildApp(); // (re)creates the windows on the same folder
    void dropApp() { m_app.reset(); }
    QuorvaneApp& app() { return *m_app; }
    TMain& main() { return m_app->main(); }
    std::string workingDir() const { return folder.withSeparator(); }

    // Selects the row of the tunnel named name; false when there is none.
    bool select(const QString& name);
    int rowOf(const QString& name) const;

    // A client of this user running the tunnel's own copy, in the fake process table, its forward
    // listening on the definition's local port.
    ProcessId startClient(const std::string& tunnelName, const std::string& fileName = {});

    TempDir folder;
    ScriptedDialogs dialogs;
    FakeTrayBackend::Counts tray;
    FakeProcessServices* processes = nullptr; // owned by the app; null with real processes
    RecordingLauncher* launcher = nullptr;    // owned by the app; null with real processes
    FakeSocketTable* sockets = nullptr;       // owned by the app; null with real processes
    FakeProbeSockets* probes = nullptr;       // owned by the app; null with real processes

private:
    bool m_realProcesses;
    std::unique_ptr<QuorvaneApp> m_app;
};

} // namespace quorvane::test
