// The import list: a row per host or session found, ticked to import, greyed with its reason when it cannot be.
#include "desktop/import_list_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace quorvane {

namespace {

// The notes before the source, whose long paths would push them out of sight.
enum Column { Name, Server, Forwards, Notes, Source, Columns };

// A long name, server or forward list is cut (its tooltip holds it whole), so the notes stay in sight.
constexpr int kMaxColumnWidth[] = {160, 160, 220, 600};

// Where an item keeps its row's index in the caller's list.
constexpr int kIndexRole = Qt::UserRole;

} // namespace

TImportList::TImportList(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ImportList"));
    setWindowTitle(QStringLiteral("Importa da SSH/PuTTY"));
    Spiegazione = new QLabel(QStringLiteral("Spunta gli host e le sessioni da importare come tunnell; la password "
                                            "resta da impostare in ciascuno. Le righe in grigio non si possono "
                                            "importare: il motivo è scritto accanto."),
                             this);
    Spiegazione->setObjectName(QStringLiteral("Spiegazione"));
    Spiegazione->setWordWrap(true);
    Elenco = new QTreeWidget(this);
    Elenco->setObjectName(QStringLiteral("Elenco"));
    Elenco->setColumnCount(Columns);
    Elenco->setRootIsDecorated(false);
    Elenco->setUniformRowHeights(true);
    Elenco->setAlternatingRowColors(true);
    Elenco->header()->setStretchLastSection(true);
    setColumnTitles({QStringLiteral("Nome"), QStringLiteral("Server"), QStringLiteral("Inoltri"),
                     QStringLiteral("Note"), QStringLiteral("Origine")});
    ImportaBtn = new QPushButton(QStringLiteral("&Importa"), this);
    ImportaBtn->setObjectName(QStringLiteral("ImportaBtn"));
    ImportaBtn->setDefault(true);
    AnnullaBtn = new QPushButton(QStringLiteral("Annulla"), this);
    AnnullaBtn->setObjectName(QStringLiteral("AnnullaBtn"));
    connect(ImportaBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AnnullaBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(Elenco, &QTreeWidget::itemChanged, this, [this] { updateButton(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ImportaBtn);
    buttons->addWidget(AnnullaBtn);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Spiegazione);
    page->addWidget(Elenco, 1);
    page->addLayout(buttons);
    resize(1060, 440);
}

void TImportList::setColumnTitles(const QStringList& titles) {
    Elenco->setHeaderLabels(titles);
}

void TImportList::setRows(const std::vector<ImportRow>& rows) {
    Elenco->clear();
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ImportRow& row = rows[i];
        const QString notes = row.reason.isEmpty() ? row.note : row.reason;
        auto* item = new QTreeWidgetItem({row.name, row.server, row.forwards, notes, row.source});
        item->setData(Name, kIndexRole, QVariant::fromValue(static_cast<qulonglong>(i)));
        for (int column = Name; column < Columns; ++column)
            item->setToolTip(column, item->text(column));
        if (row.reason.isEmpty()) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Name, Qt::Checked);
        } else {
            // Shown, so the user learns why, but neither tickable nor selectable.
            item->setFlags(Qt::ItemIsSelectable);
        }
        items << item;
    }
    Elenco->addTopLevelItems(items);
    for (int column = Name; column < Source; ++column) {
        Elenco->resizeColumnToContents(column);
        Elenco->setColumnWidth(column, std::min(Elenco->columnWidth(column), kMaxColumnWidth[column]));
    }
    updateButton();
}

std::vector<std::size_t> TImportList::ticked() const {
    std::vector<std::size_t> rows;
    for (int i = 0; i < Elenco->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = Elenco->topLevelItem(i);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(Name) == Qt::Checked)
            rows.push_back(static_cast<std::size_t>(item->data(Name, kIndexRole).toULongLong()));
    }
    return rows;
}

std::vector<std::size_t> TImportList::choose(const std::vector<ImportRow>& rows) {
    setRows(rows);
    if (exec() != QDialog::Accepted)
        return {};
    return ticked();
}

void TImportList::updateButton() {
    ImportaBtn->setEnabled(!ticked().empty());
}

} // namespace quorvane
