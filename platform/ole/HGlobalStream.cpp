// IStream over a global memory block that grows as it is written.
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/ole/ObjIdl.h"

namespace {

// The block shared by a stream and its clones.
struct SharedBlock {
  HGLOBAL block = nullptr;
  bool deleteOnRelease = false;
  ~SharedBlock() {
    if (deleteOnRelease) GlobalFree(block);
  }
};

class THGlobalStream : public TInterfacedObject<IStream> {
 public:
  explicit THGlobalStream(std::shared_ptr<SharedBlock> shared, uint64_t position = 0)
      : shared_(std::move(shared)), position_(position) {}

  HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
    const uint64_t size = GlobalSize(Block());
    const uint64_t available = position_ < size ? size - position_ : 0;
    const ULONG n = ULONG(std::min<uint64_t>(count, available));
    if (n) {
      std::memcpy(buffer, static_cast<char*>(GlobalLock(Block())) + position_, n);
      GlobalUnlock(Block());
    }
    position_ += n;
    if (read) *read = n;
    return n == count ? S_OK : S_FALSE;
  }

  HRESULT Write(const void* buffer, ULONG count, ULONG* written) override {
    if (written) *written = 0;
    if (!buffer && count) return E_POINTER;
    if (GlobalSize(Block()) < position_ + count && !GlobalReAlloc(Block(), position_ + count, 0))
      return STG_E_MEDIUMFULL;
    if (count) {
      std::memcpy(static_cast<char*>(GlobalLock(Block())) + position_, buffer, count);
      GlobalUnlock(Block());
    }
    position_ += count;
    if (written) *written = count;
    return S_OK;
  }

  HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) override {
    int64_t base = 0;
    if (origin == STREAM_SEEK_CUR) base = int64_t(position_);
    else if (origin == STREAM_SEEK_END) base = int64_t(GlobalSize(shared_->block));
    else if (origin != STREAM_SEEK_SET) return STG_E_INVALIDFUNCTION;
    if (base + move < 0) return STG_E_INVALIDFUNCTION;
    position_ = uint64_t(base + move);
    if (newPosition) *newPosition = position_;
    return S_OK;
  }

  HRESULT SetSize(uint64_t size) override {
    return GlobalReAlloc(Block(), size, 0) ? S_OK : STG_E_MEDIUMFULL;
  }

  HRESULT CopyTo(IStream* target, uint64_t count, uint64_t* read, uint64_t* written) override {
    if (!target) return E_POINTER;
    const AnsiString bytes = GlobalBytes(Block());
    const uint64_t available = position_ < bytes.size() ? bytes.size() - position_ : 0;
    const ULONG n = ULONG(std::min<uint64_t>({count, available, 0xFFFFFFFFu}));
    ULONG done = 0;
    HRESULT hr = target->Write(bytes.data() + position_, n, &done);
    position_ += n;
    if (read) *read = n;
    if (written) *written = done;
    return hr;
  }

  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }

  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return E_POINTER;
    stat->cbSize = GlobalSize(shared_->block);
    return S_OK;
  }

  HRESULT Clone(IStream** out) override {
    if (!out) return E_POINTER;
    *out = new THGlobalStream(shared_, position_);
    (*out)->AddRef();
    return S_OK;
  }

  HGLOBAL Block() const { return shared_->block; }
  static constexpr IID classIid = {0x7A0E5E11, 0x3C2B, 0x4D57, {0x9B, 0x1D, 0x48, 0x61, 0x72, 0x76, 0x6C, 0x61}};

 protected:
  // GetHGlobalFromStream recognises its own streams through this id.
  void* OtherInterface(REFIID riid) override { return riid == classIid ? this : nullptr; }

 private:
  std::shared_ptr<SharedBlock> shared_;
  uint64_t position_;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, bool deleteOnRelease, IStream** out) {
  if (!out) return E_POINTER;
  auto shared = std::make_shared<SharedBlock>();
  shared->block = block ? block : GlobalAlloc(GMEM_MOVEABLE, 0);
  shared->deleteOnRelease = deleteOnRelease;
  *out = new THGlobalStream(std::move(shared));
  (*out)->AddRef();
  return S_OK;
}

HRESULT GetHGlobalFromStream(IStream* stream, HGLOBAL* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  void* own = nullptr;
  if (!stream || FAILED(stream->QueryInterface(THGlobalStream::classIid, &own))) return E_INVALIDARG;
  auto* s = static_cast<THGlobalStream*>(own);
  *out = s->Block();
  s->Release();
  return S_OK;
}
