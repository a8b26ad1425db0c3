#include "imaging/ByteReader.h"

AnsiString ReadRestOfStream(TStream& stream) {
  AnsiString bytes;
  char buffer[65536];
  for (int64_t n; (n = stream.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, size_t(n));
  return bytes;
}

void WriteBytes(TStream& stream, const AnsiString& bytes) {
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
}

void ReturnUnread(TStream& stream, const TByteReader& reader) {
  if (reader.Remaining() > 0) stream.Seek(-int64_t(reader.Remaining()), soFromCurrent);
}
