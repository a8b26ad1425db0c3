// A form with one control of every kind, laid out as a small settings
// window; the standard-control tests and the screenshots use it.
#pragma once

#include "platform/controls/Clipbrd.h"
#include "platform/controls/ComCtrls.h"
#include "platform/controls/Dialogs.h"
#include "platform/controls/ExtCtrls.h"
#include "platform/controls/Forms.h"
#include "platform/controls/Menus.h"
#include "platform/controls/StdCtrls.h"

class TDemoForm : public TForm {
 public:
  explicit TDemoForm(TComponent* owner);

  TMainMenu* MainMenu1;
  TPopupMenu* pmList;
  TMenuItem *File1, *Open1, *Line1, *Exit1, *Copy1;
  TPanel *pnlTop, *pnlLeft;
  TSpeedButton* sbOpen;
  TLabel* Label1;
  TEdit* Edit1;
  TUpDown* UpDown1;
  TSpinEdit* SpinEdit1;
  TButton* Button1;
  TStatusBar* StatusBar1;
  TTreeView* TreeView1;
  TSplitter* Splitter1;
  TPageControl* PageControl1;
  TTabSheet *TabSheet1, *TabSheet2, *TabSheet3;
  TCheckBox* CheckBox1;
  TRadioButton *RadioButton1, *RadioButton2;
  TComboBox* ComboBox1;
  TListBox* ListBox1;
  TCheckListBox* CheckListBox1;
  TGroupBox* GroupBox1;
  TDateTimePicker *DatePicker1, *TimePicker1;
  TMemo* Memo1;
  TRichEdit* RichEdit1;
  TBevel* Bevel1;
  TImage* Image1;
  TListView* ListView1;
  TStringGrid* StringGrid1;
  TTimer* Timer1;
  TOpenDialog* OpenDialog1;
};
