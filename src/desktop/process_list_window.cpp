// The hidden process list holder, refilled by every monitor pass.
#include "desktop/process_list_window.h"

#include <algorithm>

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/text_codec.h"

namespace quorvane {

TForm2::TForm2(ProcessServices& processes, QWidget* parent) : QWidget(parent), m_processes(processes) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    Button1 = new QPushButton(QStringLiteral("Lista Processi"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Button1);
    layout->addWidget(ListBox1);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
}

void TForm2::Button1Click() {
    ProcessSnapshot snapshot;
    m_processes.ListProcesses(snapshot, false);
    m_ownProcesses = std::move(snapshot.own);
    showProcesses(snapshot.entries);
}

void TForm2::showProcesses(const std::vector<ProcessEntry>& processes) {
    // Every pass lists the processes, and on a quiet machine finds the same ones: rebuilding a few hundred
    // items each time would cost more than the listing.
    const auto same = [](const ProcessEntry& a, const ProcessEntry& b) { return a.id == b.id && a.name == b.name; };
    if (std::equal(processes.begin(), processes.end(), m_shown.begin(), m_shown.end(), same) &&
        ListBox1->count() == static_cast<int>(m_shown.size()))
        return;
    m_shown = processes;
    // One batch, so the list repaints once.
    ListBox1->setUpdatesEnabled(false);
    ListBox1->clear();
    for (const ProcessEntry& entry : processes) {
        // Executable names are bytes; one that is not UTF-8 reads as Windows-1252, like folder names.
        auto* item = new QListWidgetItem(QString::fromStdString(decodeFileText(entry.name)));
        item->setData(Qt::UserRole, QVariant::fromValue<quint32>(entry.id));
        ListBox1->addItem(item);
    }
    ListBox1->setUpdatesEnabled(true);
}

} // namespace quorvane
