#include "column_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

ColumnDialog::ColumnDialog(const QString& file_name, const QStringList& names,
                           const QList<QStringList>& preview, int preselected, QWidget* parent)
    : QDialog(parent),
      table_(
          new QTableWidget(static_cast<int>(preview.size()), static_cast<int>(names.size()), this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setWindowTitle(tr("Spalte wählen"));
  auto* label = new QLabel(tr("Die Datei „%1“ hat %2 Spalten. Welche Spalte soll in die Liste?")
                               .arg(QFileInfo(file_name).fileName())
                               .arg(names.size()),
                           this);
  label->setWordWrap(true);
  label->setBuddy(table_);

  table_->setHorizontalHeaderLabels(names);
  for (int row = 0; row < preview.size(); ++row) {
    const QStringList& fields = preview[row];
    for (int column = 0; column < std::min(fields.size(), names.size()); ++column) {
      auto* item = new QTableWidgetItem(fields[column]);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      table_->setItem(row, column, item);
    }
  }
  table_->setAccessibleName(tr("Spalten der Datei"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectColumns);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setTabKeyNavigation(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  const int chosen = std::clamp(preselected, 0, std::max(static_cast<int>(names.size()) - 1, 0));
  table_->setCurrentCell(0, chosen, QItemSelectionModel::NoUpdate);
  table_->selectColumn(chosen);

  connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(table_);
  layout->addWidget(buttons_);
  resize(std::clamp(120 * static_cast<int>(names.size()), 360, 720), 360);
  table_->setFocus();
}

int ColumnDialog::Column() const {
  const QModelIndexList selected = table_->selectionModel()->selectedIndexes();
  if (!selected.isEmpty()) return selected.front().column();
  return std::max(table_->currentColumn(), 0);
}
