#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QDialogButtonBox;
class QTableWidget;

// Asks which column of a file of several columns goes into the list: the columns side by side
// under their names, with the file's first lines as a preview; a click on a column chooses it.
class ColumnDialog : public QDialog {
  Q_OBJECT

 public:
  ColumnDialog(const QString& file_name, const QStringList& names,
               const QList<QStringList>& preview, int preselected, QWidget* parent = nullptr);

  // The chosen column, from 0.
  int Column() const;

  QTableWidget* table() const { return table_; }
  QDialogButtonBox* buttons() const { return buttons_; }

 private:
  QTableWidget* table_;
  QDialogButtonBox* buttons_;
};
