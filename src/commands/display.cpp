// Display settings: resolution, background image and the encoding in which
// the display host reads strings. The library converts nothing itself.
#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendEncoding(int32_t encoding) {
  CommandRecord record;
  StartRecord(record, CommandCode::SetEncoding, kShortRecordSize);
  record.x = encoding;
  return SendCommand(CommandCode::SetEncoding, &record, kShortRecordSize);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL SetResolution(int32_t width, int32_t height) {
  CommandRecord record;
  StartRecord(record, CommandCode::SetResolution, kShortRecordSize);
  record.width = width;
  record.height = height;
  return SendCommand(CommandCode::SetResolution, &record, kShortRecordSize);
}

// The path travels in the 4096-byte text field but is bounded at 128 bytes.
VESPRINE_API int32_t VESPRINE_CALL SetBackground(const char* path, int32_t alpha) {
  CommandRecord record;
  StartRecord(record, CommandCode::SetBackground, kFullRecordSize);
  record.alpha = alpha;
  record.textLength = BoundedCopy(record.text, kBackgroundBound, path);
  return SendCommand(CommandCode::SetBackground, &record, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL SetEncodingUTF8(void) { return SendEncoding(0); }

VESPRINE_API int32_t VESPRINE_CALL SetEncodingShiftJIS(void) { return SendEncoding(1); }
