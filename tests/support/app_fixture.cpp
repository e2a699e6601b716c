// Windows on a temporary portable folder for tests.
#include "support/app_fixture.h"

#include <filesystem>

#include <QListWidget>

#include "process/command_line.h"
#include "store/tunnel_definition.h"

namespace quorvane::test {

AppFixture::AppFixture(bool realProcesses) : m_realProcesses(realProcesses) {
    folder.makeFolder("tunnells");
    folder.write("plink.exe", "#!/bin/sh\nexit 0\n");
    buildApp();
}

AppFixture::~AppFixture() {
    m_app.reset();
}

void AppFixture::buildApp() {
    m_app.reset();
    AppOptions options;
    options.workingDir = folder.withSeparator();
    options.trayBackend = std::make_unique<FakeTrayBackend>(tray);
    if (!m_realProcesses) {
        auto fakeProcesses = std::make_unique<FakeProcessServices>();
        processes = fakeProcesses.get();
        auto fakeSockets = std::make_unique<FakeSocketTable>();
        sockets = fakeSockets.get();
        auto recordingLauncher = std::make_unique<RecordingLauncher>(processes, sockets);
        launcher = recordingLauncher.get();
        options.processes = std::move(fakeProcesses);
        options.launcher = std::move(recordingLauncher);
        options.sockets = std::move(fakeSockets);
        auto fakeProbes = std::make_unique<FakeProbeSockets>();
        probes = fakeProbes.get();
        options.probes = std::move(fakeProbes);
    }
    m_app = std::make_unique<QuorvaneApp>(std::move(options));
}

int AppFixture::rowOf(const QString& name) const {
    QListWidget* list = m_app->main().ListView1;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == name)
            return row;
    }
    return -1;
}

bool AppFixture::select(const QString& name) {
    const int row = rowOf(name);
    if (row < 0)
        return false;
    m_app->main().ListView1->setCurrentRow(row);
    return true;
}

ProcessId AppFixture::startClient(const std::string& tunnelName, const std::string& fileName) {
    const std::string folderPath = std::filesystem::canonical(folder.file("tunnells/" + tunnelName)).string();
    const ProcessId id = processes->startOwn(folderPath + "/" + (fileName.empty() ? tunnelName + "SSH.exe" : fileName));
    if (const int port = portValue(LoadDefinition(workingDir(), tunnelName).PortaLocale))
        sockets->forwards[id] = port;
    return id;
}

} // namespace quorvane::test
