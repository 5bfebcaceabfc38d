#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include "series_reader.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QTableWidget;
class SeriesFile;

// Asks which column of a file of several columns goes into the list: the columns side by side
// under their names, with the file's first lines as a preview; a click on a column chooses it.
// Given the file, it also shows what the reader decided (separator, decimal separator, header)
// and lets the user decide the decimal separator and the header instead.
class ColumnDialog : public QDialog {
  Q_OBJECT

 public:
  ColumnDialog(const QString& file_name, const QStringList& names,
               const QList<QStringList>& preview, int preselected, QWidget* parent = nullptr);
  ColumnDialog(const QString& file_name, const SeriesFile& file, int preselected,
               char locale_decimal, QWidget* parent = nullptr);

  // The chosen column, from 0.
  int Column() const;
  // The column, and the decimal separator and header where the user changed them.
  series::Choices Choices() const;

  QTableWidget* table() const { return table_; }
  QDialogButtonBox* buttons() const { return buttons_; }
  QComboBox* decimal() const { return decimal_; }
  QCheckBox* header() const { return header_; }

 private:
  void Fill(const QStringList& names, const QList<QStringList>& preview);
  void Reread();
  void FitToColumns();

  const SeriesFile* file_ = nullptr;
  QLabel* label_;
  QTableWidget* table_;
  QDialogButtonBox* buttons_;
  QLabel* decisions_ = nullptr;
  QComboBox* decimal_ = nullptr;
  QCheckBox* header_ = nullptr;
  char found_decimal_ = '\0';
  bool found_header_ = false;
};
