// The delete command's working list of a folder's ordinary files.
#include "app/hidden_file_list.h"

#include <QRegularExpression>

#include "store/file_system.h"

namespace quorvane {

HiddenFileList::HiddenFileList(QWidget* parent) : QListWidget(parent) {}

std::vector<std::string> HiddenFileList::showFolder(const std::string& folder) {
    clear();
    // "*.*" means every file, as on Windows; other masks are matched as wildcards without case.
    const bool everything =
        m_mask.trimmed().isEmpty() || m_mask == QLatin1String("*.*") || m_mask == QLatin1String("*");
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(m_mask),
                                     QRegularExpression::CaseInsensitiveOption);
    std::vector<std::string> names;
    for (const std::string& name : fs::listOrdinaryFiles(folder)) {
        const QString text = QString::fromStdString(name);
        if (!everything && !pattern.match(text).hasMatch())
            continue;
        addItem(text);
        names.push_back(name);
    }
    return names;
}

} // namespace quorvane
