// TForm2 ("Form2"): the never-shown holder of the current process list.
#pragma once

#include <QWidget>
#include <vector>

#include "process/process_services.h"

class QListWidget;
class QPushButton;

namespace quorvane {

class TForm2 : public QWidget {
    Q_OBJECT

public:
    // processes is not owned and must outlive the window.
    explicit TForm2(ProcessServices& processes, QWidget* parent = nullptr);

    // "Lista Processi": ListBox1 cleared, then refilled in one batch with bare executable names and
    // the process id as item data (Qt::UserRole).
    void Button1Click();
    // A listing taken elsewhere (each monitor pass's), shown the same way.
    void showProcesses(const std::vector<ProcessEntry>& processes);

    // This user's processes of the last listing, with their executables: what tells a tunnel's own
    // client from a process that merely shares its name.
    const std::vector<OwnProcess>& ownProcesses() const { return m_ownProcesses; }

    QListWidget* ListBox1 = nullptr;
    QPushButton* Button1 = nullptr;

private:
    ProcessServices& m_processes;
    std::vector<OwnProcess> m_ownProcesses;
    std::vector<ProcessEntry> m_shown; // what the list holds: a pass that finds the same refills nothing
};

} // namespace quorvane
