// The process list holder: each "Lista Processi" pass replaces the list with one fresh snapshot.
#include "desktop/process_list_window.h"

#include "support/temp_dir.h"
#include "support/test_processes.h"

#include <QListWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace quorvane {
namespace {

// The items of that text, as (count, process id of the last one).
std::pair<int, quint32> itemsNamed(const QListWidget& box, const QString& name) {
    int count = 0;
    quint32 id = 0;
    for (int i = 0; i < box.count(); ++i) {
        if (box.item(i)->text() == name) {
            ++count;
            id = box.item(i)->data(Qt::UserRole).value<quint32>();
        }
    }
    return {count, id};
}

class RefusedListing : public ProcessServices {
public:
    bool ListProcesses(ProcessList&, bool) override { return false; }
    StopOutcome StopProcess(ProcessId, std::int32_t) override { return StopOutcome::Failed; }
    StopOutcome StopOwnProcess(ProcessId, const std::string&, std::int32_t) override { return StopOutcome::Failed; }
};

TEST(ProcessListWindow, EveryPassReplacesTheListWithBareNamesAndIds) {
    test::TempDir dir;
    test::NamedProcess client(dir.path(), "ListedSSH.exe");
    ASSERT_TRUE(client.running());
    const std::unique_ptr<ProcessServices> system = createSystemProcessServices();
    TForm2 holder(*system);

    holder.Button1Click();
    holder.Button1Click();
    const auto [count, id] = itemsNamed(*holder.ListBox1, QStringLiteral("ListedSSH.exe"));
    EXPECT_EQ(count, 1) << "nothing is left over from the pass before";
    EXPECT_EQ(id, static_cast<quint32>(client.pid()));
    // This test program, by its name and id (ctest may run more copies of it at the same time).
    const auto items = holder.ListBox1->findItems(QStringLiteral("desktop_tests"), Qt::MatchExactly);
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const QListWidgetItem* item) {
        return item->data(Qt::UserRole).value<quint32>() == static_cast<quint32>(::getpid());
    }));
    EXPECT_TRUE(holder.ListBox1->updatesEnabled());
    // The same pass keeps this user's processes by the file they run, which is what identifies a client.
    const OwnProcess expected{static_cast<ProcessId>(client.pid()),
                              std::filesystem::canonical(dir.file("ListedSSH.exe")).string()};
    const auto& own = holder.ownProcesses();
    EXPECT_EQ(std::count(own.begin(), own.end(), expected), 1);

    RefusedListing refused;
    TForm2 unavailable(refused);
    unavailable.ListBox1->addItem(QStringLiteral("stale"));
    unavailable.Button1Click();
    EXPECT_EQ(unavailable.ListBox1->count(), 0) << "a failed listing leaves the list empty";
}

} // namespace
} // namespace quorvane
