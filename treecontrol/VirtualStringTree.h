// The string tree: cells show texts that are asked for through OnGetText
// every time a cell is painted, measured, searched or edited (DefaultText
// "Node" when the handler leaves the text alone); the main column's text
// width is cached per node. TStringEditLink with its TVTEdit (a
// TVTMultiLineEdit for a multiline node) is the default in-place editor. TVirtualStringTree is the class the forms create.
#pragma once

#include "platform/controls/StdCtrls.h"
#include "treecontrol/VirtualTrees.h"

enum TVSTTextType { ttNormal, ttStatic };

class TCustomVirtualStringTree;

using TVSTGetTextEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column,
                                            TVSTTextType TextType, WideString& CellText)>;
using TVSTGetHintEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column,
                                            int& LineBreakStyle, WideString& HintText)>;
using TVSTNewTextEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TColumnIndex Column, const WideString& NewText)>;
using TVTPaintText = std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas, PVirtualNode Node,
                                        TColumnIndex Column, TVSTTextType TextType)>;
using TVSTShortenStringEvent =
    std::function<void(TBaseVirtualTree* Sender, TCanvas* TargetCanvas, PVirtualNode Node, TColumnIndex Column,
                       const WideString& S, int TextSpace, WideString& Result, bool& Done)>;

class TCustomVirtualStringTree : public TBaseVirtualTree {
 public:
  explicit TCustomVirtualStringTree(TComponent* owner);
  ~TCustomVirtualStringTree() override;
  AnsiString ClassName() const override { return "TCustomVirtualStringTree"; }
  bool InheritsFromClass(const AnsiString& className) const override;

  const WideString& DefaultText() const { return defaultText_; }
  void SetDefaultText(const WideString& value);
  // The text of a cell (asks OnGetText); writing fires OnNewText.
  WideString Text(PVirtualNode node, TColumnIndex column);
  void SetText(PVirtualNode node, TColumnIndex column, const WideString& value);
  using TBaseVirtualTree::SetText;
  TCustomStringTreeOptions& StringTreeOptions() { return static_cast<TCustomStringTreeOptions&>(*options_); }
  virtual int CalculateTextWidth(TCanvas* canvas, PVirtualNode node, const WideString& text, TColumnIndex column);
  virtual int ComputeNodeHeight(TCanvas* canvas, PVirtualNode node, TColumnIndex column, WideString s = {});
  void GetTextInfo(PVirtualNode node, TColumnIndex column, TFont& font, TRect& r, WideString& text) override;
  void InvalidateNode(PVirtualNode node) override;
  void ResetNode(PVirtualNode node) override;
  void WndProc(TMessage& message) override;
  void WriteChunks(TStream& stream, PVirtualNode node) override;
  bool ReadChunk(TStream& stream, int version, PVirtualNode node, int chunkType, int chunkSize) override;
  int TextHeight() const { return textHeight_; }
  // A node's hint (tooltip: its tooltip) text and the line-break style the
  // application asks for with it (0 when it does not say).
  WideString HintTextOf(PVirtualNode node, TColumnIndex column, bool tooltip, int& lineBreakStyle);
  // Frees an editor's edit after the current message (posted to the tree).
  void ReleaseEditor(TWinControl* edit);

  TVSTGetTextEvent OnGetText;
  TVSTGetHintEvent OnGetHint;
  TVSTNewTextEvent OnNewText;
  TVTPaintText OnPaintText;
  TVSTShortenStringEvent OnShortenString;

 protected:
  // The hint window and the content export use the font a cell is painted with.
  friend class TVirtualTreeHintWindow;
  friend class TVTExportFont;
  virtual void DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType type, WideString& text);
  virtual void DoNewText(PVirtualNode node, TColumnIndex column, const WideString& text);
  virtual void DoPaintText(PVirtualNode node, TCanvas* canvas, TColumnIndex column, TVSTTextType type);
  virtual WideString DoShortenString(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const WideString& s,
                                     int width, int ellipsisWidth);
  virtual void DoTextDrawing(TCanvas* canvas, const WideString& text, TRect r, unsigned format);
  virtual int DoTextMeasuring(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const WideString& text);
  int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) override;
  WideString DoGetNodeHint(PVirtualNode node, TColumnIndex column) override;
  bool ColumnIsEmpty(PVirtualNode node, TColumnIndex column) override;
  WideString DoGetNodeToolTip(PVirtualNode node, TColumnIndex column) override;
  void DoPaintNode(TVTPaintInfo& info) override;
  IVTEditLinkPtr DoCreateEditor(PVirtualNode node, TColumnIndex column) override;
  int DoIncrementalSearch(PVirtualNode node, const WideString& text) override;
  TCustomVirtualTreeOptions* CreateOptions() override;
  void MainColumnChanged() override;

 private:
  // The main column's text width of a node, kept in the node's header: 0
  // while not measured, TooWideToCache for a width measured anew each time.
  uint16_t* WidthCache(PVirtualNode node) const;
  static constexpr uint16_t TooWideToCache = 0xFFFF;
  void MeasureFont();
  void InitializeTextProperties(TVTPaintInfo& info);
  void PaintNormalText(TVTPaintInfo& info, WideString text);
  void PaintStaticText(TVTPaintInfo& info, const WideString& text);

  WideString defaultText_ = u"Node";
  int textHeight_ = 0;
  int ellipsisWidth_ = 0;
  int widthCacheOffset_ = 0;
  std::vector<TWinControl*> releasedEdits_;
};

class TVirtualStringTree : public TCustomVirtualStringTree {
 public:
  explicit TVirtualStringTree(TComponent* owner);
  AnsiString ClassName() const override { return "TVirtualStringTree"; }
  bool InheritsFromClass(const AnsiString& className) const override;
  TStringTreeOptions& TreeOptions() { return static_cast<TStringTreeOptions&>(*options_); }

 protected:
  TCustomVirtualTreeOptions* CreateOptions() override;
};

class TStringEditLink;

// What the editor link needs of its edit window, single- or multi-line, and
// the key and focus handling both share: Return accepts (Ctrl+Return in a
// multiline node), Escape cancels, leaving accepts with
// toAutoAcceptEditChange and cancels otherwise. A window destroyed while it
// still edits keeps a modified text with toAutoAcceptEditChange.
class TVTEditWindow {
 public:
  explicit TVTEditWindow(TStringEditLink* link) : link_(link) {}
  virtual ~TVTEditWindow() = default;
  TVTEditWindow(const TVTEditWindow&) = delete;
  TVTEditWindow& operator=(const TVTEditWindow&) = delete;
  virtual TWinControl* Window() = 0;
  virtual AnsiString EditText() const = 0;
  virtual void SelectAllText() = 0;
  void Detach() { link_ = nullptr; }

 protected:
  // True when the key belonged to the editor.
  bool HandleEditKey(uint16_t& key, TShiftState shift);
  void HandleExit();
  // For the destructors of the edit windows.
  void WindowDestroying();
  TStringEditLink* link_;
};

// The single-line edit: Up and Down move the caret like Left and Right;
// while the user types, the edit follows the width of its text.
class TVTEdit : public TEdit, public TVTEditWindow {
 public:
  TVTEdit(TComponent* owner, TStringEditLink* link);
  ~TVTEdit() override { WindowDestroying(); }
  AnsiString ClassName() const override { return "TVTEdit"; }
  TWinControl* Window() override { return this; }
  AnsiString EditText() const override { return GetText(); }
  void SelectAllText() override { SelectAll(); }
  void AutoAdjustSize();

 protected:
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char16_t& key) override;
  void DoExit() override;
};

// The edit of a multiline node: wrapped lines with a vertical scroll bar;
// Return starts a new line.
class TVTMultiLineEdit : public TMemo, public TVTEditWindow {
 public:
  TVTMultiLineEdit(TComponent* owner, TStringEditLink* link);
  ~TVTMultiLineEdit() override { WindowDestroying(); }
  AnsiString ClassName() const override { return "TVTMultiLineEdit"; }
  TWinControl* Window() override { return this; }
  // The lines joined by CR LF, without a line break after the last one.
  AnsiString EditText() const override;
  void SelectAllText() override { SelectAll(); }

 protected:
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char16_t& key) override;
  void DoExit() override;
};

class TStringEditLink : public IVTEditLink, public std::enable_shared_from_this<TStringEditLink> {
 public:
  TStringEditLink();
  ~TStringEditLink() override;
  bool BeginEdit() override;
  bool CancelEdit() override;
  bool EndEdit() override;
  bool PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) override;
  TRect GetBounds() override;
  void SetBounds(const TRect& r) override;
  void ProcessMessage(TMessage& message) override;
  // The edit window (a TVTEdit, or a TVTMultiLineEdit for a multiline node).
  TWinControl* Edit() const { return edit_ ? edit_->Window() : nullptr; }
  TCustomVirtualStringTree* Tree() const { return tree_; }
  PVirtualNode Node() const { return node_; }
  TAlignment Alignment() const { return alignment_; }
  bool Stopping() const { return stopping_; }
  // The edit window goes away while editing: with toAutoAcceptEditChange a
  // modified text is written to the cell; the link no longer has a window.
  void EditWindowDestroying();
  // Destroys the edit window at once (its tree is going away).
  void DestroyEditWindow();

 private:
  void ReleaseEdit();
  bool Modified() const { return edit_ && edit_->EditText() != original_; }
  TVTEditWindow* edit_ = nullptr;
  TCustomVirtualStringTree* tree_ = nullptr;
  PVirtualNode node_ = nullptr;
  TColumnIndex column_ = NoColumn;
  TAlignment alignment_ = taLeftJustify;
  AnsiString original_;
  bool stopping_ = false;
};
