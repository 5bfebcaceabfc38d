#include "form1.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStyleOptionButton>
#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "decimal_separator.h"
#include "desktop.h"
#include "exception.h"
#include "list_keys.h"
#include "overview_panel.h"
#include "series_plot.h"

TForm1* Form1 = nullptr;

namespace {

const QString kTitle = QStringLiteral("Messwerte Auswerten");

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), Designed(new QWidget(this)) {
  setObjectName(QStringLiteral("TForm1"));
  Designed->setObjectName(QStringLiteral("designedArea"));
  setupUi(Designed);
  setWindowTitle(Designed->windowTitle());
  list_room_ = Designed->height() - Memo1->height();
  ChooseFont();

  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/mainicon-%1.png").arg(size), QSize(size, size));
  }
  setWindowIcon(icon);

  ShowError = [this](const QString& message) { QMessageBox::critical(this, kTitle, message); };
  Files = new SeriesActions(*Memo1, *this);
  Files->ShowError = [this](const QString& message) { ShowError(message); };
  Files->ShowNotice = [this](const QString& text, const QList<SeriesActions::Offer>& offers) {
    QList<NoticeLine::Action> actions;
    for (const SeriesActions::Offer& offer : offers) actions.append({offer.text, offer.run});
    Notices->Show(text, actions);
  };
  // Only its own notice: another may have taken its place meanwhile.
  Files->ClearNotice = [this](const QString& text) {
    if (Notices->text() == text) Notices->Clear();
  };
  // The recording's status stands beside the reset button, where the designed area has room.
  auto* recording_status = new QLabel(Designed);
  recording_status->setObjectName(QStringLiteral("lblAufnahme"));
  recording_status->setGeometry(424, 390, 260, 40);
  Recording = new RecordingControl(*Memo1, *this, *recording_status);
  Recording->KeepForRecovery = [this] { Files->KeepChanges(); };
  Recording->ShowNotice = [this](const QString& text) {
    Notices->Show(text, {{tr("Wieder aufnehmen…"), [this] { Recording->StartChosen(); }}});
  };

  connect(btnAnzahl, &QPushButton::clicked, this, &TForm1::btnAnzahlClick);
  connect(btnMittelwert, &QPushButton::clicked, this, &TForm1::btnMittelwertClick);
  connect(btnquadr_Mittelwert, &QPushButton::clicked, this, &TForm1::btnquadr_MittelwertClick);
  connect(btnGroessterMessw, &QPushButton::clicked, this, &TForm1::btnGroessterMesswClick);
  connect(brnKleinsterMessw, &QPushButton::clicked, this, &TForm1::brnKleinsterMesswClick);
  connect(btnAbweichung, &QPushButton::clicked, this, &TForm1::btnAbweichungClick);
  connect(btnMemoReset, &QPushButton::clicked, this, &TForm1::btnMemoResetClick);

  for (QPushButton* button : findChildren<QPushButton*>()) button->installEventFilter(this);
  AddListKeys();
  connect(Memo1, &MeasurementEdit::textChanged, this, &TForm1::ListChanged);
  Memo1->setAccessibleDescription(
      desktop::SeriesDescription(Memo1->SeriesEndLine(), Memo1->LineCount()));

  // The window grows by the menu bar above the designed area and, while it shows, by the notice
  // line below it.
  Overview = new OverviewPanel(*Memo1, DecimalSeparator(), this);
  Overview->hide();
  AddMenuBar();
  Notices = new NoticeLine(this);
  connect(Notices, &NoticeLine::heightChanged, this, &TForm1::FitNotice);
  Designed->installEventFilter(this);
  designed_size_ = Designed->size();
  setMinimumSize(designed_size_.width(), designed_size_.height() + MenuHeight());
  resize(minimumSize());
  move(179, 125);
  LayOut();
}

int TForm1::MenuHeight() const {
  if (Menus->isNativeMenuBar()) return 0;
  return Menus->heightForWidth(width() > 0 ? width() : Designed->width());
}

int TForm1::NoticeHeight() const {
  if (!Notices->isVisibleTo(this)) return 0;
  return Notices->hasHeightForWidth() ? Notices->heightForWidth(width())
                                      : Notices->sizeHint().height();
}

void TForm1::LayOut() {
  const int menu = MenuHeight();
  const int notice = NoticeHeight();
  const int below = height() - menu - notice;
  Menus->setGeometry(0, 0, width(), menu);
  if (Overview->isHidden()) {
    Designed->setGeometry(0, menu, width(), below);
  } else {
    const int left = designed_size_.width();
    Designed->setGeometry(0, menu, left, below);
    Overview->setGeometry(left, menu, width() - left, below);
  }
  Notices->setGeometry(0, height() - notice, width(), notice);
}

// The overview makes the window wider by its panel and gives the width back when both its parts
// are hidden; the designed area keeps its place and size.
void TForm1::FitOverview() {
  const bool shown = Overview->StatisticsShown() || Overview->PlotShown();
  const int room = shown ? std::max(Overview->sizeHint().width(), 440) : 0;
  const int change = room - overview_room_;
  overview_room_ = room;
  Overview->setVisible(shown);
  const int wanted = width() + change;
  setMinimumWidth(designed_size_.width() + (shown ? Overview->minimumSizeHint().width() : 0));
  if (change != 0 && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    resize(std::max(wanted, minimumWidth()), height());
    KeepOnScreen();
  }
  LayOut();
}

// A notice makes the window taller by its line and gives the height back when it closes, so
// that the designed area keeps its size; a maximised window takes the room from the list.
void TForm1::FitNotice() {
  const int notice = NoticeHeight();
  const int change = notice - notice_room_;
  notice_room_ = notice;
  const int wanted = height() + change;  // before the new minimum may have resized it already
  setMinimumHeight(designed_size_.height() + MenuHeight() + notice);
  if (change != 0 && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    resize(width(), std::max(wanted, minimumHeight()));
  }
  LayOut();
}

// "MS Sans Serif" is found on few systems; the layout was made for its narrow 8 points, which
// Liberation Sans matches. Where neither is installed, a condensed or smaller font keeps every
// caption inside its button.
void TForm1::ChooseFont() {
  QFont sans(Designed->font());
  if (!QFontInfo(sans).exactMatch()) {
    sans.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial")});
    sans.setStyleHint(QFont::SansSerif);
  }
  QList<desktop::Caption> captions;
  for (QPushButton* button : findChildren<QPushButton*>()) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    captions.append({button->text(), contents.width()});
  }
  Designed->setFont(desktop::FittingFont(sans, captions));
}

// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y undo and redo the list wherever the focus is, so that the
// reset can be taken back right after the press. The list and the output fields claim the keys
// of their own undo while they have the focus.
void TForm1::AddListKeys() {
  UndoAction = new QAction(QStringLiteral("&Rückgängig"), this);
  UndoAction->setShortcuts(list_keys::Undo());
  UndoAction->setShortcutContext(Qt::WindowShortcut);
  connect(UndoAction, &QAction::triggered, this, &TForm1::UndoKey);
  addAction(UndoAction);
  RedoAction = new QAction(QStringLiteral("&Wiederherstellen"), this);
  RedoAction->setShortcuts(list_keys::Redo());
  RedoAction->setShortcutContext(Qt::WindowShortcut);
  connect(RedoAction, &QAction::triggered, this, &TForm1::RedoKey);
  addAction(RedoAction);
}

void TForm1::UndoKey() {
  if (auto* field = qobject_cast<QLineEdit*>(focusWidget())) return field->undo();
  Memo1->undo();
}

void TForm1::RedoKey() {
  if (auto* field = qobject_cast<QLineEdit*>(focusWidget())) return field->redo();
  Memo1->redo();
}

QList<OutputEdit*> TForm1::OutputFields() const {
  return {edtAnzahl,         edtMittelwert,     edtQuadr_Mittelwe,
          edtGroessterMessw, edtKleinsterMessw, edtAbweichung};
}

void TForm1::ListChanged() {
  for (OutputEdit* field : OutputFields()) field->ListChanged();
  const QString description =
      desktop::SeriesDescription(Memo1->SeriesEndLine(), Memo1->LineCount());
  if (Memo1->accessibleDescription() != description) Memo1->setAccessibleDescription(description);
}

// Return and Enter press a button as Space does, as on Windows.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // Taller, the designed area gives the list the room; the buttons and fields stay where they
  // are.
  if (watched == Designed && event->type() == QEvent::Resize) {
    Memo1->resize(Memo1->width(), Designed->height() - list_room_);
    return false;
  }
  // A menu that the views fill shows once it holds something.
  if (event->type() == QEvent::ActionAdded) {
    if (auto* menu = qobject_cast<QMenu*>(watched)) menu->menuAction()->setVisible(true);
    return false;
  }
  auto* button = qobject_cast<QPushButton*>(watched);
  if (button && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        !(key->modifiers() & ~Qt::KeypadModifier)) {
      if (!key->isAutoRepeat()) button->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  list_kept_ = false;
  if (placed_) return;
  placed_ = true;
  KeepOnScreen();
  Files->OfferKept();
}

// The window stands where it was designed to stand if it fits there, otherwise it moves into
// the screen's free area. A window's position is its frame's; where the window system has not
// told the frame yet, a title bar is reckoned with.
void TForm1::KeepOnScreen() {
  const QScreen* here = screen();
  if (!here) return;
  QSize frame = frameGeometry().size();
  if (frame == size()) frame.rheight() += style()->pixelMetric(QStyle::PM_TitleBarHeight);
  const QPoint place = desktop::PlaceInside(here->availableGeometry(), QRect(pos(), frame));
  if (place != pos()) move(place);
}

void TForm1::OpenAtStart(const QString& path) { Files->OpenLater(path); }

void TForm1::closeEvent(QCloseEvent* event) {
  KeepList();
  QWidget::closeEvent(event);
}

void TForm1::KeepList() {
  if (std::exchange(list_kept_, true)) return;
  // A recording's last values go into the list first.
  Recording->Stop();
  Files->KeepForRecovery();
}

void TForm1::btnAnzahlClick() { Run(messwerte::btnAnzahlClick); }
void TForm1::btnMittelwertClick() { Run(messwerte::btnMittelwertClick); }
void TForm1::btnGroessterMesswClick() { Run(messwerte::btnGroessterMesswClick); }
void TForm1::brnKleinsterMesswClick() { Run(messwerte::brnKleinsterMesswClick); }
void TForm1::btnAbweichungClick() { Run(messwerte::btnAbweichungClick); }
void TForm1::btnquadr_MittelwertClick() { Run(messwerte::btnquadr_MittelwertClick); }
// A new series starts where it counts: at the top of the emptied list.
void TForm1::btnMemoResetClick() {
  Run(messwerte::btnMemoResetClick);
  Memo1->SetSelection({}, {});
}

void TForm1::Run(Operation operation) {
  messwerte::Form form{Memo1->model(),     *edtAnzahl,         *edtMittelwert,
                       *edtQuadr_Mittelwe, *edtGroessterMessw, *edtKleinsterMessw,
                       *edtAbweichung,     DecimalSeparator(), KeptValues};
  try {
    MeasurementEdit::EditGroup edits(*Memo1);
    operation(form, Auswertung);
  } catch (const messwerte::Exception& e) {
    if (e.line() >= 0) Memo1->SelectLine(e.line());
    Overview->SetRejectedLine(e.line());
    ShowError(QString::fromUtf8(e.what()));
    // Typing the fix replaces the selected line.
    Memo1->setFocus(Qt::OtherFocusReason);
  } catch (const std::bad_alloc&) {
    ShowError(tr("Für diese Auswertung reicht der Arbeitsspeicher nicht."));
    Memo1->setFocus(Qt::OtherFocusReason);
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8(e.what()));
    Memo1->setFocus(Qt::OtherFocusReason);
  }
}
