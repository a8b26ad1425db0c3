// The OLE side of a tree's data transfer: TVTTransferHost (what a data object
// and a drag manager need from their tree), TVTDataObject (the tree's
// IDataObject for the clipboard and for drags), TEnumFormatEtc (its format
// enumerator) and TVTDragManager (IDropTarget and IDropSource of a tree).
//
// Contract
// - A host registers itself under a process-wide id that is never reused;
//   data objects and drag managers keep the id, not a pointer, so an object
//   that outlives its tree (the clipboard keeps it) renders nothing and a
//   tree reference naming a destroyed tree finds no tree.
// - The tree reference format carries 8 bytes {process id, host id}.
// - No exception leaves a COM method: a failing host call answers E_UNEXPECTED.
#pragma once

#include <vector>

#include "platform/graphics/Types.h"
#include "platform/ole/DragDrop.h"
#include "platform/ole/ObjIdl.h"

class TBaseVirtualTree;

enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

class TVTTransferHost {
 public:
  TVTTransferHost();
  virtual ~TVTTransferHost();
  TVTTransferHost(const TVTTransferHost&) = delete;
  TVTTransferHost& operator=(const TVTTransferHost&) = delete;

  uint32_t HostId() const { return hostId_; }
  virtual TBaseVirtualTree* Tree() const = 0;
  // The formats the tree offers: its registered formats, the tree reference,
  // then those the tree's OnGetUserClipboardFormats adds.
  virtual std::vector<FORMATETC> NativeFormats() const;
  virtual HRESULT RenderOLEData(const FORMATETC& format, STGMEDIUM& medium, bool forClipboard) = 0;
  // Whether the tree is handing its clipboard content over right now.
  virtual bool FlushingClipboard() const;
  // The clipboard object of a pending cut or copy went away.
  virtual void CancelCutOrCopy() = 0;
  // A data object the application supplies for a drag (empty: the tree's own).
  virtual TComPtr<IDataObject> CreateDataObject() { return {}; }
  // Target operations; points are in screen coordinates.
  virtual HRESULT DragEnter(DWORD keyState, TPoint point, DWORD& effect) = 0;
  virtual HRESULT DragOver(TBaseVirtualTree* source, DWORD keyState, TDragState state, TPoint point,
                           DWORD& effect) = 0;
  virtual void DragLeave() = 0;
  virtual HRESULT DragDrop(IDataObject* data, DWORD keyState, TPoint point, DWORD& effect) = 0;

 private:
  uint32_t hostId_;
};

// The live host with the id (nullptr when gone).
TVTTransferHost* FindTransferHost(uint32_t hostId);
// The tree of this process that produced data (nullptr for other sources
// and for trees that no longer exist).
TBaseVirtualTree* GetTreeFromDataObject(IDataObject* data);
// FORMATETC equality of data objects: format, device, aspect, index equal
// and at least one medium type in common.
bool EqualFormatEtc(const FORMATETC& a, const FORMATETC& b);

class TEnumFormatEtc : public TInterfacedObject<IEnumFORMATETC> {
 public:
  TEnumFormatEtc(uint32_t hostId, std::vector<FORMATETC> formats, ULONG currentIndex = 0)
      : hostId_(hostId), formats_(std::move(formats)), currentIndex_(currentIndex) {}
  HRESULT Next(ULONG count, FORMATETC* items, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumFORMATETC** out) override;

 private:
  uint32_t hostId_;
  std::vector<FORMATETC> formats_;
  ULONG currentIndex_;
};

class TVTDataObject : public TInterfacedObject<IDataObject> {
 public:
  TVTDataObject(TVTTransferHost* host, bool forClipboard);
  bool ForClipboard() const { return forClipboard_; }
  TVTTransferHost* Host() const { return FindTransferHost(ownerId_); }
  const std::vector<FORMATETC>& FormatEtcArray() const { return formatEtcArray_; }

  virtual HRESULT DAdvise(const FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override;
  virtual HRESULT DUnadvise(DWORD connection) override;
  virtual HRESULT EnumDAdvise(IEnumSTATDATA** out) override;
  virtual HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  virtual HRESULT GetCanonicalFormatEtc(const FORMATETC* in, FORMATETC* out) override;
  virtual HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) override;
  virtual HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM* medium) override;
  virtual HRESULT QueryGetData(const FORMATETC* format) override;
  virtual HRESULT SetData(const FORMATETC* format, STGMEDIUM* medium, BOOL release) override;

 protected:
  ~TVTDataObject() override;

 private:
  struct TInternalStgMedium {
    CLIPFORMAT Format;
    STGMEDIUM Medium;
  };
  HRESULT ReferenceData(STGMEDIUM& medium);
  TInternalStgMedium* StoredMedium(CLIPFORMAT format);
  HRESULT StgMediumIncRef(const STGMEDIUM& in, STGMEDIUM& out, bool copyContent);

  uint32_t ownerId_;
  bool forClipboard_;
  std::vector<FORMATETC> formatEtcArray_;
  std::vector<TInternalStgMedium> internalStgMediumArray_;
  TComPtr<IDataAdviseHolder> adviseHolder_;
};

// The drag manager of a tree.
class IVTDragManager : public IUnknown {
 public:
  static constexpr IID iid = {0xC4B25559, 0x14DA, 0x446B, {0x8E, 0x0F, 0x14, 0xBC, 0xC2, 0x11, 0x7B, 0x3D}};
  virtual void ForceDragLeave() = 0;
  virtual TComPtr<IDataObject> GetDataObject() = 0;
  virtual TBaseVirtualTree* GetDragSource() = 0;
  virtual bool GetDropTargetHelperSupported() = 0;
  virtual bool GetIsDropTarget() = 0;
};

class TVTDragManager : public TInterfacedObject<IVTDragManager, IDropTarget, IDropSource> {
 public:
  explicit TVTDragManager(TVTTransferHost* host);

  void ForceDragLeave() override;
  TComPtr<IDataObject> GetDataObject() override;
  TBaseVirtualTree* GetDragSource() override { return dragSource_; }
  bool GetDropTargetHelperSupported() override { return bool(dropTargetService_); }
  bool GetIsDropTarget() override { return isDropTarget_; }

  HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

  HRESULT GiveFeedback(DWORD effect) override;
  HRESULT QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;

 private:
  bool UseService() const { return dropTargetService_ && fullDragging_; }
  uint32_t ownerId_;
  TBaseVirtualTree* dragSource_ = nullptr;
  bool isDropTarget_ = false;
  TComPtr<IDataObject> dataObject_;
  TComPtr<IDropTargetHelper> dropTargetService_;
  bool fullDragging_ = true;
};
