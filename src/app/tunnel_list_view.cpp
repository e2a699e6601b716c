// The tunnel list view.
#include "app/tunnel_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <algorithm>

#include "app/health_text.h"
#include "app/window_messages.h"
#include "desktop/artwork.h"
#include "desktop/plain_text.h"
#include "store/text_codec.h"

namespace quorvane {

namespace {

constexpr int kPictureRole = Qt::UserRole + 1;
constexpr int kFolderNameRole = Qt::UserRole + 2; // the folder's own bytes, for names that are not UTF-8
constexpr int kColumnRole = Qt::UserRole + 3;     // + 1..3: the details' texts (state, connections, time up)
constexpr int kColumns = 4;
constexpr Qt::Alignment kIconCaption = Qt::AlignHCenter | Qt::AlignTop;
constexpr Qt::Alignment kLineCaption = Qt::AlignLeft | Qt::AlignVCenter;

} // namespace

QString tunnelCaption(const std::string& folderName) {
    return QString::fromStdString(decodeFileText(folderName));
}

TunnelListView::TunnelListView(QWidget* parent) : QListWidget(parent) {
    setProperty("controlKind", QStringLiteral("ListView"));
    layOutAsIcons();
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setFrameShape(QFrame::NoFrame);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(240, 251, 255));
    setPalette(colours);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

// Most users never leave the icons: the header and its model are made for the first details view.
void TunnelListView::makeColumnHeader() {
    if (m_header)
        return;
    m_header = new QHeaderView(Qt::Horizontal, this);
    auto* columns = new QStandardItemModel(0, kColumns, m_header);
    m_header->setModel(columns);
    m_header->setStretchLastSection(true);
    m_header->setSectionsClickable(false);
    m_header->setDefaultAlignment(kLineCaption);
    m_header->resizeSection(0, 170);
    m_header->resizeSection(1, 150);
    m_header->resizeSection(2, 100);
    m_header->hide();
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        scheduleDelayedItemsLayout();
        viewport()->update();
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_header, &QHeaderView::setOffset);
    setColumnTitles(m_columnTitles);
}

void TunnelListView::layOutAsIcons() {
    setViewMode(QListView::IconMode);
    setIconSize(QSize(50, 50));
    // Room for a picture and three lines of caption under it.
    setGridSize(QSize(104, 50 + 3 * fontMetrics().lineSpacing() + 14));
    setMovement(QListView::Static);
    setWordWrap(true);
    setUniformItemSizes(false);
}

void TunnelListView::selectFirstTime(int row) {
    const QSize grid = gridSize();
    const QSize area = maximumViewportSize(); // without scroll bars
    bool barAhead = false;
    if (!m_details && grid.width() > 0 && grid.height() > 0 && verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded &&
        !verticalScrollBar()->isVisible()) {
        const int columns = std::max(1, area.width() / grid.width());
        const qint64 rows = (count() + columns - 1) / columns;
        barAhead = rows * grid.height() > area.height();
    }
    if (barAhead)
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setCurrentRow(row);
    if (barAhead)
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TunnelListView::setDetails(bool on) {
    if (on == m_details)
        return;
    m_details = on;
    if (on) {
        makeColumnHeader();
        setViewMode(QListView::ListMode);
        setIconSize(QSize(16, 16));
        setGridSize(QSize());
        setWordWrap(false);
        setUniformItemSizes(true);
        setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        setViewportMargins(0, m_header->sizeHint().height(), 0, 0);
        m_header->show();
    } else {
        if (m_header)
            m_header->hide();
        setViewportMargins(0, 0, 0, 0);
        layOutAsIcons();
    }
    for (int row = 0; row < count(); ++row)
        item(row)->setTextAlignment(on ? kLineCaption : kIconCaption);
    updateGeometries();
    scheduleDelayedItemsLayout();
}

void TunnelListView::setColumnTitles(const QStringList& titles) {
    m_columnTitles = titles;
    if (!m_header)
        return;
    auto* columns = static_cast<QStandardItemModel*>(m_header->model());
    for (int column = 0; column < kColumns && column < titles.size(); ++column) {
        if (columns->headerData(column, Qt::Horizontal).toString() != titles[column])
            columns->setHeaderData(column, Qt::Horizontal, titles[column]);
    }
}

QRect TunnelListView::columnRect(int column, const QRect& row) const {
    if (!m_details)
        return row;
    return QRect(row.left() + m_header->sectionPosition(column), row.top(), m_header->sectionSize(column),
                 row.height());
}

QString TunnelListView::columnText(const QListWidgetItem* item, int column) {
    return column == 0 ? item->text() : item->data(kColumnRole + column).toString();
}

void TunnelListView::updateGeometries() {
    QListWidget::updateGeometries();
    if (!m_header || !m_details)
        return;
    const QRect area = viewport()->geometry();
    const int height = m_header->sizeHint().height();
    m_header->setGeometry(area.left(), area.top() - height, area.width(), height);
    m_header->setOffset(horizontalScrollBar()->value());
}

std::string TunnelListView::tunnelOf(const QListWidgetItem* item) {
    const QVariant folder = item->data(kFolderNameRole);
    if (folder.isValid()) {
        const std::string bytes = folder.toByteArray().toStdString();
        if (tunnelCaption(bytes) == item->text())
            return bytes;
    }
    return item->text().toStdString();
}

QListWidgetItem* TunnelListView::itemOf(const std::string& tunnel) const {
    for (int row = 0; row < count(); ++row) {
        if (tunnelOf(item(row)) == tunnel)
            return item(row);
    }
    return nullptr;
}

int TunnelListView::pictureOf(int row) const {
    const QListWidgetItem* found = item(row);
    return found ? found->data(kPictureRole).toInt() : -1;
}

void TunnelListView::setPicture(QListWidgetItem* item, int picture) {
    if (item->data(kPictureRole).toInt() == picture && !item->icon().isNull())
        return; // same picture: no redraw
    item->setData(kPictureRole, picture);
    item->setIcon(tunnelIcon(picture)); // one shared picture per state, not one per item
}

QListWidgetItem* TunnelListView::appendTunnel(const std::string& folderName) {
    // Made whole before it joins the list: one insertion, not one change per property.
    auto* row = new QListWidgetItem(tunnelCaption(folderName));
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    row->setTextAlignment(m_details ? kLineCaption : kIconCaption);
    row->setData(kFolderNameRole, QByteArray::fromStdString(folderName));
    setPicture(row, 0);
    addItem(row);
    row->setHidden(!passesFilter(row));
    return row;
}

bool TunnelListView::passesFilter(const QListWidgetItem* item) const {
    return m_filter.isEmpty() || item->text().contains(m_filter, Qt::CaseInsensitive);
}

void TunnelListView::setFilter(const QString& text) {
    m_filter = text;
    for (int row = 0; row < count(); ++row)
        item(row)->setHidden(!passesFilter(item(row)));
    keepSelectionInSight();
}

void TunnelListView::selectSeen(int step) {
    for (int row = currentRow() + step; row >= 0 && row < count(); row += step) {
        if (!item(row)->isHidden()) {
            setCurrentItem(item(row));
            return;
        }
    }
}

void TunnelListView::keepSelectionInSight() {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (m_filter.isEmpty() || (!selected.isEmpty() && !selected.first()->isHidden()))
        return;
    // The first match takes the selection, so that Enter connects what the user looked for.
    for (int row = 0; row < count(); ++row) {
        if (!item(row)->isHidden()) {
            setCurrentItem(item(row));
            return;
        }
    }
    clearSelection();
    setCurrentItem(nullptr);
}

void TunnelListView::showTunnels(const std::vector<std::string>& tunnels) {
    const int wanted = static_cast<int>(tunnels.size());
    const int rows = count();
    int same = 0;
    while (same < std::min(rows, wanted) && tunnelOf(item(same)) == tunnels[same])
        ++same;
    if (rows == wanted) { // a rename: the row keeps its place, its selection and its picture
        for (int row = same; row < rows; ++row) {
            item(row)->setText(tunnelCaption(tunnels[row]));
            item(row)->setData(kFolderNameRole, QByteArray::fromStdString(tunnels[row]));
            item(row)->setHidden(!passesFilter(item(row)));
        }
        keepSelectionInSight();
        return;
    }
    const auto restMatches = [&](int row, int tunnel) {
        for (; row < rows && tunnel < wanted; ++row, ++tunnel) {
            if (tunnelOf(item(row)) != tunnels[tunnel])
                return false;
        }
        return true;
    };
    if (wanted == rows + 1 && same == rows) {
        // A tunnel just added is the one the next command is about: it must be seen.
        if (!appendTunnel(tunnels.back())->isHidden() || m_filter.isEmpty())
            return;
        setFilter({});
        emit filterDropped();
    } else if (wanted + 1 == rows && restMatches(same + 1, same)) {
        delete takeItem(same);
    } else {
        clear();
        for (const std::string& tunnel : tunnels)
            appendTunnel(tunnel);
    }
    keepSelectionInSight();
}

int TunnelListView::showStates(const std::function<TunnelHealth(const std::string&)>& healthOf, const TfMessage* texts,
                               const std::function<std::optional<TunnelActivity>(const std::string&)>& activityOf) {
    int connected = 0;
    // Most tunnels are simply not connected: their words are made once per pass.
    const QString notConnected = texts ? statusText(TunnelHealth{}, *texts) : QString();
    const auto setColumn = [](QListWidgetItem* tunnel, int column, const QString& text) {
        if (tunnel->data(kColumnRole + column).toString() != text)
            tunnel->setData(kColumnRole + column, text);
    };
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* tunnel = item(row);
        const std::string name = tunnelOf(tunnel);
        const TunnelHealth health = healthOf(name);
        connected += health.status == TunnelStatus::Connected ? 1 : 0;
        setPicture(tunnel, pictureFor(health.status));
        if (!texts)
            continue;
        const QString state = health.status == TunnelStatus::NotConnected ? notConnected : statusText(health, *texts);
        QString tip = state;
        QString connections;
        QString up;
        if (const std::optional<TunnelActivity> activity =
                activityOf && health.status == TunnelStatus::Connected ? activityOf(name) : std::nullopt) {
            const WindowMessages words(*texts, nullptr);
            tip += QLatin1Char('\n') + QString::fromStdString(activityWords(*activity, words));
            if (activity->connections)
                connections = QString::number(*activity->connections);
            up = QString::fromStdString(durationWords(activity->up, words));
        }
        setColumn(tunnel, 1, state);
        setColumn(tunnel, 2, connections);
        setColumn(tunnel, 3, up);
        tip = plainToolTip(tip);
        if (tunnel->toolTip() != tip)
            tunnel->setToolTip(tip);
    }
    return connected;
}

void TunnelListView::setEmptyHint(const QString& text) {
    m_emptyHint = text;
    viewport()->update();
}

void TunnelListView::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (count() > 0 || m_emptyHint.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_emptyHint);
}

void TunnelListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != EditingState && !selectedItems().isEmpty()) {
        emit activatedByKey();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QList<QListWidgetItem*> selected = selectedItems();
        const QPoint at = selected.isEmpty() ? viewport()->rect().center() : visualItemRect(selected.first()).center();
        emit customContextMenuRequested(at);
        event->accept();
        return;
    }
    // Typing over a list that shows every row finds a row by its first letters, as any list does.
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool overflows = verticalScrollBar()->maximum() > 0 || horizontalScrollBar()->maximum() > 0;
    if (printable && state() != EditingState && (overflows || !m_filter.isEmpty())) {
        emit filterTyped(typed);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && !m_filter.isEmpty()) {
        setFilter({});
        emit filterDropped();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

bool TunnelListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == SelectedClicked && event &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonPress)) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QRect item = visualRect(index);
        // In icon mode the caption sits under the picture; in details beside it, in the first column alone.
        if (m_details) {
            const QRect name = columnRect(0, item);
            if (at.x() < name.left() + iconSize().width() + 6 || at.x() > name.right())
                return false;
        } else if (at.y() < item.top() + iconSize().height() + spacing()) {
            return false;
        }
    }
    return QListWidget::edit(index, trigger, event);
}

} // namespace quorvane
