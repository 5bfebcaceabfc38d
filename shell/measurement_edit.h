#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "measurement_list.h"

// The list of measurement values: a plain text field whose paragraphs are the lines that the
// evaluation reads. Lines are read as UTF-8 from a snapshot that is built only as far as the reads
// go and dropped whenever the text changes, so an operation walks the document once.
class MeasurementEdit : public QPlainTextEdit, public messwerte::MeasurementList {
  Q_OBJECT

 public:
  explicit MeasurementEdit(QWidget* parent = nullptr);

  std::string_view ReadLine(int k) override;
  void ReplaceLine(int k, std::string_view text) override;

  // Selects line k and scrolls it into view.
  void SelectLine(int k);

  // While a group is open, replaced lines are collected and reach the document when the group
  // closes, in one undo step.
  class EditGroup {
   public:
    explicit EditGroup(MeasurementEdit& edit) : edit_(edit) { ++edit_.open_groups_; }
    ~EditGroup() {
      if (--edit_.open_groups_ == 0) edit_.ApplyReplacements();
    }
    EditGroup(const EditGroup&) = delete;
    EditGroup& operator=(const EditGroup&) = delete;

   private:
    MeasurementEdit& edit_;
  };

 protected:
  void insertFromMimeData(const QMimeData* source) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool ReadNextBlock();
  std::string_view Store(std::string_view text);
  void ForgetSnapshot();
  void ApplyReplacements();

  std::deque<std::string> chunks_;       // UTF-8 text of the lines read; chunks never grow
  std::vector<std::string_view> lines_;  // views into chunks_
  QTextBlock next_;                      // first block not yet in the snapshot
  bool started_ = false;                 // next_ has been set since the snapshot was dropped
  std::map<int, std::string> replaced_;  // lines replaced while a group is open
  int open_groups_ = 0;
  bool applying_ = false;  // the document changes through ApplyReplacements
};
