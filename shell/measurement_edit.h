#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "measurement_list.h"

// The list of measurement values: a plain text field whose paragraphs are the lines that the
// evaluation reads. Lines are read as UTF-8 from a snapshot of the whole text, taken at the first
// read and dropped whenever the user changes the text, so clicks on an unchanged list share it.
//
// A long paste or a long run of replaced lines reaches the document in slices, one per pass of the
// event loop, so the window keeps painting and reacting; all slices form one undo step. Meanwhile
// the field is read-only and shows a wait cursor, and reading a line first completes the rest, so
// every evaluation sees the whole text.
class MeasurementEdit : public QPlainTextEdit, public messwerte::MeasurementList {
  Q_OBJECT

 public:
  explicit MeasurementEdit(QWidget* parent = nullptr);

  std::string_view ReadLine(int k) override {
    if (pending_) FinishPendingEdit();
    return Snapshot().ReadLine(k);
  }
  void ReplaceLine(int k, std::string_view text) override;
  std::uint64_t Revision() override;

  // Selects line k and scrolls it into view.
  void SelectLine(int k);

  // Lines per slice; a paste or a run of replacements of at most this many lines goes in at once.
  void SetSliceLines(int lines) { slice_lines_ = std::max(1, lines); }
  bool EditPending() const { return pending_; }
  // Completes a sliced edit now.
  void FinishPendingEdit();

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
  messwerte::LineList& Snapshot() {
    if (!snapshot_) TakeSnapshot();
    return *snapshot_;
  }
  void TakeSnapshot();
  void ForgetSnapshot();
  void ApplyReplacements();
  void ReplaceSlice(std::size_t count);
  void PasteSlice(qsizetype lines);
  void StartPending();
  void StepPending(qsizetype lines);
  void EndPending();

  // The document's lines as UTF-8, taken at the first read after a change; replaced lines are
  // changed in it at once and reach the document when the edit group closes.
  std::optional<messwerte::LineList> snapshot_;
  std::map<int, std::string> replaced_;  // lines replaced while a group is open
  int open_groups_ = 0;
  std::uint64_t revision_ = messwerte::NewRevision();
  bool applying_ = false;  // the document changes through this class's own edits

  int slice_lines_ = 20000;  // about 60 ms of document work
  QTimer slice_timer_;
  bool pending_ = false;  // a sliced edit has begun; its next slice joins its undo step
  QString paste_text_;    // the pasted text while its slices go in
  qsizetype paste_pos_ = 0;
  QTextCursor paste_cursor_;  // where the next slice goes
};
