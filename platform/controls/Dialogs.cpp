#include "platform/controls/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "platform/controls/Forms.h"
#include "platform/graphics/QtBridge.h"

namespace {

TDialogResponder& Responder() {
  static TDialogResponder responder;
  return responder;
}

QWidget* ActiveWindow() {
  return Screen && Screen->ActiveForm() ? Screen->ActiveForm()->Widget() : nullptr;
}

// "Text files (*.txt)|*.TXT|All (*.*)|*.*" -> Qt's ";;"-separated filters.
QStringList QtFilters(const AnsiString& filter) {
  QStringList parts = ToQString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << parts[i] + " [" + patterns + "]" + " (" + patterns + ")";
  }
  return out;
}

int QtMessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  QMessageBox box(ActiveWindow());
  box.setWindowTitle(ToQString(caption));
  box.setText(ToQString(text));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (flags & 0xF) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
  }
}

}  // namespace

void SetDialogResponder(TDialogResponder responder) { Responder() = std::move(responder); }

bool AskDialogResponder(const TDialogRequest& request, TDialogAnswer& answer) {
  if (!Responder()) return false;
  answer = Responder()(request);
  return answer.Result >= 0;
}

int RunMessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  if (Responder()) {
    TDialogRequest request;
    request.Kind = dkMessageBox;
    request.Text = text;
    request.Caption = caption;
    request.Flags = flags;
    return Responder()(request).Result;
  }
  return QtMessageBox(text, caption, flags);
}

void ShowMessage(const AnsiString& text) {
  RunMessageBox(text, Application ? Application->Title() : AnsiString(), MB_OK);
}

int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  unsigned flags = MB_OK;
  if ((buttons & mbYes) && (buttons & mbNo)) flags = (buttons & mbCancel) ? MB_YESNOCANCEL : MB_YESNO;
  else if ((buttons & mbOK) && (buttons & mbCancel)) flags = MB_OKCANCEL;
  static const unsigned icons[] = {MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION,
                                   MB_ICONQUESTION, 0};
  const char* captions[] = {"Warning", "Error", "Information", "Confirm", ""};
  return RunMessageBox(text, captions[type], flags | icons[type]);
}

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) { InitializeControls(); }
TOpenDialog::~TOpenDialog() = default;

bool TOpenDialog::Execute() {
  TDialogRequest request;
  request.Kind = Kind();
  request.Text = Title;
  request.FileName = FileName;
  request.Filter = Filter;
  request.FilterIndex = FilterIndex;
  request.InitialDir = InitialDir;
  TDialogAnswer answer;
  if (Responder()) {
    answer = Responder()(request);
  } else {
    QFileDialog dialog(ActiveWindow(), ToQString(Title), ToQString(InitialDir));
    dialog.setAcceptMode(Kind() == dkSaveFile ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(Kind() == dkSaveFile ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters = QtFilters(Filter);
    dialog.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
    if (!FileName.empty()) dialog.selectFile(ToQString(FileName));
    if (!DefaultExt.empty()) dialog.setDefaultSuffix(ToQString(DefaultExt));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      answer.Result = IDOK;
      answer.FileName = FromQString(dialog.selectedFiles().first());
      answer.FilterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    }
  }
  if (answer.Result != IDOK) return false;
  FileName = answer.FileName;
  FilterIndex = answer.FilterIndex;
  files_.Clear();
  files_.Add(FileName);
  return true;
}

bool SelectDirectory(const AnsiString& caption, const AnsiString& root, AnsiString& directory) {
  InitializeControls();
  if (Responder()) {
    TDialogRequest request;
    request.Kind = dkFolder;
    request.Text = caption;
    request.FileName = directory;
    request.InitialDir = root;
    TDialogAnswer answer = Responder()(request);
    if (answer.Result != IDOK) return false;
    directory = answer.FileName;
    return true;
  }
  QString chosen = QFileDialog::getExistingDirectory(ActiveWindow(), ToQString(caption),
                                                     ToQString(directory.empty() ? root : directory));
  if (chosen.isEmpty()) return false;
  directory = FromQString(chosen);
  return true;
}
