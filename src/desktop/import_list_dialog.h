// TImportList ("ImportList"): what an import found in the user's SSH settings, to tick what becomes a tunnel.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quorvane {

// One host or session as the list shows it; a row that cannot be imported shows why and cannot be ticked.
struct ImportRow {
    QString name;
    QString server;
    QString forwards;
    QString source;
    QString reason; // empty: it can be imported
    QString note;   // what the import will do besides, for a row that can be
};

class TImportList : public QDialog {
    Q_OBJECT

public:
    explicit TImportList(QWidget* parent = nullptr);

    // The column titles: name, server, forwards, notes (the reason or the note), source.
    void setColumnTitles(const QStringList& titles);
    // Fills the list, every importable row ticked.
    void setRows(const std::vector<ImportRow>& rows);
    // The rows ticked, by their index in setRows' list.
    std::vector<std::size_t> ticked() const;
    // setRows, then the window modal: the rows ticked on Importa, none when cancelled.
    std::vector<std::size_t> choose(const std::vector<ImportRow>& rows);

    QLabel* Spiegazione = nullptr;
    QTreeWidget* Elenco = nullptr;
    QPushButton* ImportaBtn = nullptr;
    QPushButton* AnnullaBtn = nullptr;

private:
    void updateButton();
};

} // namespace quorvane
