#include "platform/rtl/Persistent.h"

#include <map>
#include <mutex>

namespace {

constexpr uint8_t kBinaryValue = 10;

struct TClassRegistry {
  std::mutex lock;
  std::map<AnsiString, TPersistentFactory> classes;  // by lower-case name
};

TClassRegistry& Registry() {
  static TClassRegistry registry;
  return registry;
}

[[noreturn]] void RaiseReadError(const AnsiString& message = "Stream read error") { throw EReadError(message); }

uint8_t ReadByte(TStream& stream) {
  uint8_t b = 0;
  if (stream.Read(&b, 1) != 1) RaiseReadError();
  return b;
}

AnsiString ReadBytes(TStream& stream, int64_t count) {
  if (count > stream.Size() - stream.Position()) RaiseReadError();
  AnsiString bytes(size_t(count), '\0');
  if (count > 0) stream.ReadBuffer(bytes.data(), count);
  return bytes;
}

}  // namespace

void TPersistent::DefineProperties(TFiler&) {}

// ---- writing ------------------------------------------------------------

void TWriter::WriteName(const AnsiString& name) {
  if (name.size() > 255) throw EStreamError("Name too long: " + name);
  const uint8_t length = uint8_t(name.size());
  stream_.WriteBuffer(&length, 1);
  if (length) stream_.WriteBuffer(name.data(), length);
}

void TWriter::WriteObject(TPersistent& object) {
  WriteName(object.ClassName());
  WriteProperties(object);
}

void TWriter::WriteProperties(TPersistent& object) {
  object.DefineProperties(*this);
  WriteName("");
}

void TWriter::DefineBinaryProperty(const AnsiString& name, TStreamProc, TStreamProc writeData, bool hasData) {
  if (!hasData || !writeData) return;
  TStringStream data("");
  writeData(data);
  const AnsiString& bytes = data.DataString();
  WriteName(name);
  stream_.WriteBuffer(&kBinaryValue, 1);
  const uint32_t size = uint32_t(bytes.size());
  const uint8_t sizeBytes[4] = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
  stream_.WriteBuffer(sizeBytes, 4);
  if (size) stream_.WriteBuffer(bytes.data(), size);
}

// ---- reading ------------------------------------------------------------

AnsiString TReader::ReadName() { return ReadBytes(stream_, ReadByte(stream_)); }

std::unique_ptr<TPersistent> TReader::ReadObject() {
  std::unique_ptr<TPersistent> object = FindClass(ReadName())();
  ReadProperties(*object);
  return object;
}

void TReader::ReadProperties(TPersistent& object) {
  for (AnsiString name = ReadName(); !name.empty(); name = ReadName()) {
    if (ReadByte(stream_) != kBinaryValue) RaiseReadError("Invalid property value of " + name);
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size |= uint32_t(ReadByte(stream_)) << (8 * i);
    TStringStream data(ReadBytes(stream_, size));
    property_ = name;
    propertyData_ = &data;
    propertyRead_ = false;
    object.DefineProperties(*this);
    propertyData_ = nullptr;
    if (!propertyRead_) RaiseReadError(Format("Property %s does not exist", name.c_str()));
  }
}

void TReader::DefineBinaryProperty(const AnsiString& name, TStreamProc readData, TStreamProc, bool) {
  if (propertyRead_ || !propertyData_ || !readData || !SameText(name, property_)) return;
  propertyRead_ = true;
  readData(*propertyData_);
}

// ---- class registry -----------------------------------------------------

void RegisterClass(const AnsiString& className, TPersistentFactory factory) {
  TClassRegistry& r = Registry();
  std::lock_guard guard(r.lock);
  r.classes[LowerCase(className)] = std::move(factory);
}

void UnRegisterClass(const AnsiString& className) {
  TClassRegistry& r = Registry();
  std::lock_guard guard(r.lock);
  r.classes.erase(LowerCase(className));
}

TPersistentFactory GetClass(const AnsiString& className) {
  TClassRegistry& r = Registry();
  std::lock_guard guard(r.lock);
  auto it = r.classes.find(LowerCase(className));
  return it == r.classes.end() ? TPersistentFactory() : it->second;
}

TPersistentFactory FindClass(const AnsiString& className) {
  TPersistentFactory factory = GetClass(className);
  if (!factory) throw EClassNotFound(Format("Class %s not found", className.c_str()));
  return factory;
}
