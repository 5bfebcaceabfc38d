#include "column_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "reading_notes.h"
#include "series_file.h"

namespace {

QString SeparatorName(char separator) {
  switch (separator) {
    case '\t':
      return QStringLiteral("Tabulator");
    case ';':
      return QStringLiteral("Semikolon");
    case ',':
      return QStringLiteral("Komma");
    case ' ':
      return QStringLiteral("Leerzeichen");
    default:
      return QStringLiteral("keiner");
  }
}

}  // namespace

ColumnDialog::ColumnDialog(const QString& file_name, const QStringList& names,
                           const QList<QStringList>& preview, int preselected, QWidget* parent)
    : QDialog(parent),
      label_(new QLabel(this)),
      table_(new QTableWidget(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setWindowTitle(tr("Spalte wählen"));
  label_->setText(tr("Die Datei „%1“ hat %2 Spalten. Welche Spalte soll in die Liste?")
                      .arg(QFileInfo(file_name).fileName(), QString::number(names.size())));
  label_->setWordWrap(true);
  label_->setBuddy(table_);

  table_->setAccessibleName(tr("Spalten der Datei"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectColumns);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setTabKeyNavigation(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  Fill(names, preview);
  const int chosen = std::clamp(preselected, 0, std::max(static_cast<int>(names.size()) - 1, 0));
  table_->setCurrentCell(0, chosen, QItemSelectionModel::NoUpdate);
  table_->selectColumn(chosen);

  connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(table_);
  layout->addWidget(buttons_);
  FitToColumns();
  table_->setFocus();
}

ColumnDialog::ColumnDialog(const QString& file_name, const SeriesFile& file, int preselected,
                           char locale_decimal, QWidget* parent)
    : ColumnDialog(file_name, file.ColumnNames(), file.Preview(), preselected, parent) {
  file_ = &file;
  const series::Layout layout = file.Decide();
  found_decimal_ = layout.decimal ? layout.decimal : locale_decimal;
  found_header_ = layout.header;

  decisions_ = new QLabel(this);
  decisions_->setWordWrap(true);
  decisions_->setText(
      tr("Erkannt: Spaltentrenner %1, Dezimalzeichen %2, %3.")
          .arg(SeparatorName(layout.separator),
               layout.decimal ? series::DecimalName(layout.decimal) + tr(" (aus den Werten)")
                              : series::DecimalName(locale_decimal) + tr(" (Spracheinstellung)"),
               layout.header ? tr("erste Zeile ist Kopfzeile") : tr("keine Kopfzeile")));
  decimal_ = new QComboBox(this);
  decimal_->addItem(tr("Punkt (1.5)"), QVariant::fromValue(int{'.'}));
  decimal_->addItem(tr("Komma (1,5)"), QVariant::fromValue(int{','}));
  decimal_->setCurrentIndex(found_decimal_ == ',' ? 1 : 0);
  header_ = new QCheckBox(tr("&Erste Zeile ist Kopfzeile"), this);
  header_->setChecked(found_header_);

  auto* choices = new QFormLayout;
  choices->addRow(tr("&Dezimalzeichen:"), decimal_);
  choices->addRow(header_);
  auto* box = static_cast<QVBoxLayout*>(this->layout());
  box->insertWidget(2, decisions_);
  box->insertLayout(3, choices);
  connect(decimal_, &QComboBox::currentIndexChanged, this, &ColumnDialog::Reread);
  connect(header_, &QCheckBox::toggled, this, &ColumnDialog::Reread);
  FitToColumns();
}

void ColumnDialog::Fill(const QStringList& names, const QList<QStringList>& preview) {
  table_->clear();
  table_->setColumnCount(static_cast<int>(names.size()));
  table_->setRowCount(static_cast<int>(preview.size()));
  table_->setHorizontalHeaderLabels(names);
  for (int row = 0; row < preview.size(); ++row) {
    const QStringList& fields = preview[row];
    for (int column = 0; column < std::min(fields.size(), names.size()); ++column) {
      auto* item = new QTableWidgetItem(fields[column]);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      table_->setItem(row, column, item);
    }
  }
}

void ColumnDialog::Reread() {
  const int column = Column();
  const series::Choices choices = Choices();
  Fill(file_->ColumnNames(choices), file_->Preview(10, choices));
  table_->setCurrentCell(0, std::min(column, table_->columnCount() - 1),
                         QItemSelectionModel::NoUpdate);
  table_->selectColumn(table_->currentColumn());
}

// As wide as the columns need, within the screen.
void ColumnDialog::FitToColumns() {
  table_->resizeColumnsToContents();
  int width = table_->verticalHeader()->width() + 2 * table_->frameWidth() +
              table_->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < table_->columnCount(); ++column)
    width += table_->columnWidth(column);
  const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
  const int room = screen ? screen->availableGeometry().width() * 9 / 10 : 1200;
  const QMargins margins = layout()->contentsMargins();
  resize(std::clamp(width + margins.left() + margins.right(), 360, std::max(room, 360)),
         std::max(sizeHint().height(), 360));
}

int ColumnDialog::Column() const {
  const QModelIndexList selected = table_->selectionModel()->selectedIndexes();
  if (!selected.isEmpty()) return selected.front().column();
  return std::max(table_->currentColumn(), 0);
}

series::Choices ColumnDialog::Choices() const {
  series::Choices choices;
  choices.column = Column();
  if (decimal_) {
    const char decimal = static_cast<char>(decimal_->currentData().toInt());
    if (decimal != found_decimal_) choices.decimal = decimal;
  }
  if (header_ && header_->isChecked() != found_header_) choices.header = header_->isChecked();
  return choices;
}
