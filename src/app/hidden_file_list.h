// The main window's hidden file list: one folder's ordinary files, the delete command's working list.
#pragma once

#include <QListWidget>
#include <string>
#include <vector>

namespace quorvane {

class HiddenFileList : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(QString Mask READ mask WRITE setMask)

public:
    explicit HiddenFileList(QWidget* parent = nullptr);

    QString mask() const { return m_mask; }
    void setMask(const QString& mask) { m_mask = mask; }

    // Lists the folder's ordinary files matching the mask (hidden files and sub-folders are left out)
    // and returns their bare names in list order.
    std::vector<std::string> showFolder(const std::string& folder);

private:
    QString m_mask = QStringLiteral("*.*");
};

} // namespace quorvane
