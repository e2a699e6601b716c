// The tunnel list: one row per tunnel with its picture and state, large icons, and in-place renaming
// only from a click on the selected item's caption.
#pragma once

#include <QListWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tunnel/tunnel_health_tracker.h"
#include "tunnel/tunnel_monitor.h"

class QHeaderView;

namespace quorvane {

class TfMessage;

// A folder name as the list shows it: one that is not UTF-8 (copied from Windows) reads as Windows-1252.
QString tunnelCaption(const std::string& folderName);

class TunnelListView : public QListWidget {
    Q_OBJECT

public:
    explicit TunnelListView(QWidget* parent = nullptr);

    // Shown in the empty list: how to make a first tunnel.
    void setEmptyHint(const QString& text);
    const QString& emptyHint() const { return m_emptyHint; }

    // The rows follow the list: in place for a rename, one row for an add or a delete, else all anew.
    void showTunnels(const std::vector<std::string>& tunnels);
    // Every row's picture and tooltip (with a connected tunnel's connections and the time it has been up, when
    // activityOf is given) and the details' columns; returns how many are connected. Without texts, pictures only.
    int showStates(const std::function<TunnelHealth(const std::string&)>& healthOf, const TfMessage* texts,
                   const std::function<std::optional<TunnelActivity>(const std::string&)>& activityOf = {});

    // Details: one line per tunnel with the columns name, state, connections and time up, under their titles;
    // otherwise large icons. Selection, filter and renaming work the same in both.
    // Selects the row once the list holds its rows, laying it out once: were the vertical scroll bar to come only
    // after the first layout, the narrower view would lay every caption out again.
    void selectFirstTime(int row);
    void setDetails(bool on);
    bool details() const { return m_details; }
    void setColumnTitles(const QStringList& titles);
    // The details view's column titles, made when the details are first shown; null until then.
    QHeaderView* columnHeader() const { return m_header; }
    // Where a column lies within a row's rectangle, in details (the whole row otherwise).
    QRect columnRect(int column, const QRect& row) const;
    // A details column's text for a row: 1 state, 2 connections, 3 time up (0: the name).
    static QString columnText(const QListWidgetItem* item, int column);

    // The folder name of a row's tunnel: its own bytes for as long as the caption is not edited.
    static std::string tunnelOf(const QListWidgetItem* item);
    QListWidgetItem* itemOf(const std::string& tunnel) const;
    int pictureOf(int row) const; // -1 for no such row

    // Rows whose caption does not hold text (in any letter case) are hidden; empty shows every row. A
    // selection that is hidden moves to the first row seen, so no command acts on a row out of sight.
    void setFilter(const QString& text);
    const QString& filter() const { return m_filter; }
    // The next (step 1) or previous (-1) row seen, in list order, becomes the selected one.
    void selectSeen(int step);

signals:
    // Enter on the selected tunnel.
    void activatedByKey();
    // A character typed over a list with more rows than it shows, or while a filter holds: for the filter field.
    void filterTyped(const QString& text);
    // Esc over a filtered list, or a tunnel added that the filter would hide: every row is to be seen again.
    void filterDropped();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Enter connects the selected tunnel; Shift+F10 opens its menu, as the menu key does.
    void keyPressEvent(QKeyEvent* event) override;
    // A click on the picture of the selected item selects it again; only its caption opens the editor.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void updateGeometries() override;

private:
    QListWidgetItem* appendTunnel(const std::string& folderName);
    static void setPicture(QListWidgetItem* item, int picture);
    bool passesFilter(const QListWidgetItem* item) const;
    void keepSelectionInSight();
    void layOutAsIcons();
    void makeColumnHeader();

    QString m_emptyHint;
    QString m_filter;
    QHeaderView* m_header = nullptr;
    QStringList m_columnTitles; // kept for the header while it is not made
    bool m_details = false;
};

} // namespace quorvane
