// Persistent objects: the objects that form files stream. A class declares
// the extra data it streams in DefineProperties, one property per call to
// the filer with a name, a reader, a writer and whether it has data to store
// (compared with the filer's ancestor, the same object as an inherited form
// holds it, when there is one). TWriter writes an object as its class name
// and its properties; TReader creates the object from the registry of
// persistent classes by that name and hands each property to the reader the
// object declares. Stream form: a name is a length byte and its characters;
// an object is its class name, its properties and an empty name; a binary
// property is its name, the kind byte 10, a 32-bit little-endian length and
// that many bytes. Class names compare without case.
#pragma once

#include <functional>
#include <memory>

#include "platform/rtl/Classes.h"

// Raised when a stream ends early or holds something that does not belong there.
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// Raised when a stream names a class that was never registered.
class EClassNotFound : public Exception {
 public:
  using Exception::Exception;
};

class TFiler;

class TPersistent : public TObject {
 public:
  // Declares the properties the object streams; the base declares none.
  virtual void DefineProperties(TFiler& filer);
};

using TStreamProc = std::function<void(TStream& stream)>;

class TFiler {
 public:
  explicit TFiler(const TPersistent* ancestor) : ancestor_(ancestor) {}
  virtual ~TFiler() = default;
  // What the written object is compared with; nullptr when there is nothing to compare.
  const TPersistent* Ancestor() const { return ancestor_; }
  // A property held as bytes: readData gets a stream of exactly those bytes;
  // writeData writes them, and only when hasData.
  virtual void DefineBinaryProperty(const AnsiString& name, TStreamProc readData, TStreamProc writeData,
                                    bool hasData) = 0;

 private:
  const TPersistent* ancestor_;
};

class TWriter : public TFiler {
 public:
  explicit TWriter(TStream& stream, const TPersistent* ancestor = nullptr) : TFiler(ancestor), stream_(stream) {}
  void WriteObject(TPersistent& object);
  void WriteProperties(TPersistent& object);
  void DefineBinaryProperty(const AnsiString& name, TStreamProc readData, TStreamProc writeData,
                            bool hasData) override;

 private:
  void WriteName(const AnsiString& name);
  TStream& stream_;
};

class TReader : public TFiler {
 public:
  explicit TReader(TStream& stream) : TFiler(nullptr), stream_(stream) {}
  // A new object of the class the stream names, with its properties read.
  std::unique_ptr<TPersistent> ReadObject();
  // Reads properties up to the end marker; EReadError for one the object does not declare.
  void ReadProperties(TPersistent& object);
  void DefineBinaryProperty(const AnsiString& name, TStreamProc readData, TStreamProc writeData,
                            bool hasData) override;

 private:
  AnsiString ReadName();
  TStream& stream_;
  AnsiString property_;      // the property being read
  TStream* propertyData_ = nullptr;
  bool propertyRead_ = false;
};

using TPersistentFactory = std::function<std::unique_ptr<TPersistent>()>;

// Registers (or replaces) the factory of a persistent class under its name.
void RegisterClass(const AnsiString& className, TPersistentFactory factory);
void UnRegisterClass(const AnsiString& className);
// The factory registered under the name; empty when there is none.
TPersistentFactory GetClass(const AnsiString& className);
// As GetClass, but EClassNotFound "Class <name> not found" when there is none.
TPersistentFactory FindClass(const AnsiString& className);
