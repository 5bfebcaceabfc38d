#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "evaluation.h"
#include "notice_line.h"
#include "output_edit.h"
#include "recording_control.h"
#include "series_actions.h"
#include "ui_form1.h"

class OverviewPanel;
class QAction;
class QMenu;
class QMenuBar;

// The program's window: the list of measurement values, a button for each operation and the
// fields that show the results, as designed, in the designed area; the menu bar above it and the
// notice line below it.
class TForm1 : public QWidget, private Ui::TForm1 {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);

  const messwerte::Auswertung& auswertung() const { return Auswertung; }

  // Tells the user about an error of an operation; a message box unless replaced.
  std::function<void(const QString& message)> ShowError;

  // Opens the file named on the command line once the window is shown.
  void OpenAtStart(const QString& path);
  SeriesActions& files() { return *Files; }
  // Short messages that do not stop the work.
  NoticeLine& notices() { return *Notices; }
  // The widget that holds the designed controls at their designed places.
  QWidget& designedArea() { return *Designed; }
  QMenuBar& menuBar() { return *Menus; }
  // Kennwerte and plot, to the right of the designed area.
  OverviewPanel& overview() { return *Overview; }
  // What Hilfe → Über says.
  static QString AboutText();
  RecordingControl& recording() { return *Recording; }

  void btnAnzahlClick();
  void btnMittelwertClick();
  void btnGroessterMesswClick();
  void brnKleinsterMesswClick();
  void btnAbweichungClick();
  void btnquadr_MittelwertClick();
  void btnMemoResetClick();
  // Auswertung → Alle auswerten and Ergebnisse kopieren.
  void EvaluateAll();
  void CopyResults();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Keeps a changed list in the recovery file; closing goes on whatever happens.
  void closeEvent(QCloseEvent* event) override;

 public:
  // What a close does to the list, for an end that is no close: the window destroyed by the
  // window system. Done once.
  void KeepList();

 private:
  bool list_kept_ = false;

 private:
  using Operation = void (*)(messwerte::Form&, messwerte::Auswertung&);
  void Run(Operation operation);
  QList<OutputEdit*> OutputFields() const;
  void ChooseFont();
  void AddListKeys();
  void ListChanged();
  // Undo and redo of the keys that work anywhere in the window.
  void UndoKey();
  void RedoKey();
  void KeepOnScreen();
  // menu_bar.cpp
  void AddMenuBar();
  void AddEditMenu(QMenu& menu);
  // Places the menu bar, the designed area and the notice line; the list takes the height.
  void LayOut();
  int MenuHeight() const;
  int NoticeHeight() const;
  void FitNotice();
  void FitOverview();
  void ShowKeys();
  void SavePlotChosen();

  messwerte::Auswertung Auswertung;
  QWidget* Designed;
  QMenuBar* Menus = nullptr;
  NoticeLine* Notices = nullptr;
  OverviewPanel* Overview = nullptr;
  int overview_room_ = 0;  // the overview panel's width as the window last made room for it
  QAction* UndoAction = nullptr;
  QAction* RedoAction = nullptr;
  QSize designed_size_;
  int notice_room_ = 0;  // the notice line's height as the window last made room for it
  int list_room_ = 0;    // the designed area's height that is not the list's
  bool placed_ = false;
  SeriesActions* Files;
  RecordingControl* Recording;
  // The values read from Memo1, kept for the next press.
  messwerte::KeptValues KeptValues;
};

extern TForm1* Form1;
