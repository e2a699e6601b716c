// The hidden process list holder, refilled by every monitor pass.
#include "process/process_list_window.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/text_codec.h"

namespace quorvane {

namespace {

// Collects a listing and hands it to the list box as one batch, so it repaints once.
class ListBoxBatch : public ProcessList {
public:
    ListBoxBatch(QListWidget& box, std::vector<OwnProcess>& own) : m_box(box), m_own(own) {}

    void beginUpdate() override { m_box.setUpdatesEnabled(false); }
    void append(const std::string& name, ProcessId id) override { m_pending.push_back({name, id}); }
    bool wantsOwnExecutables() const override { return true; }
    void appendOwnExecutable(ProcessId id, const std::string& executable) override {
        m_own.push_back({id, executable});
    }
    void endUpdate() override {
        for (const ProcessEntry& entry : m_pending) {
            // Executable names are bytes; one that is not UTF-8 reads as Windows-1252, like folder names.
            auto* item = new QListWidgetItem(QString::fromStdString(decodeFileText(entry.name)));
            item->setData(Qt::UserRole, QVariant::fromValue<quint32>(entry.id));
            m_box.addItem(item);
        }
        m_pending.clear();
        m_box.setUpdatesEnabled(true);
    }

private:
    QListWidget& m_box;
    std::vector<OwnProcess>& m_own;
    std::vector<ProcessEntry> m_pending;
};

} // namespace

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
    ListBox1->clear();
    m_ownProcesses.clear();
    ListBoxBatch batch(*ListBox1, m_ownProcesses);
    m_processes.ListProcesses(batch, false);
}

} // namespace quorvane
