// Display settings: resolution, background image and the encoding in which
// the display host reads strings. The library converts nothing itself.
#include <cstring>

#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendEncoding(int32_t encoding) {
  RecordMessage message;
  StartShortRecord(message, CommandCode::SetEncoding);
  message.record.x = encoding;
  return SendRecord(message, kShortRecordSize);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL SetResolution(int32_t width, int32_t height) {
  RecordMessage message;
  StartShortRecord(message, CommandCode::SetResolution);
  message.record.width = width;
  message.record.height = height;
  return SendRecord(message, kShortRecordSize);
}

// The path travels in the 4096-byte text field but is bounded at 128 bytes.
VESPRINE_API int32_t VESPRINE_CALL SetBackground(const char* path, int32_t alpha) {
  RecordMessage message;
  StartTextRecord(message, CommandCode::SetBackground);
  CommandRecord& record = message.record;
  record.alpha = alpha;
  record.textLength = BoundedCopy(record.text, kBackgroundBound, path);
  std::memset(record.text + kBackgroundBound, 0, sizeof(record.text) - kBackgroundBound);
  return SendRecord(message, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL SetEncodingUTF8(void) { return SendEncoding(0); }

VESPRINE_API int32_t VESPRINE_CALL SetEncodingShiftJIS(void) { return SendEncoding(1); }
