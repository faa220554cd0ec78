// Drawing: colour, shapes, text, images and clearing, one record message each.
#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendShape(CommandCode code, int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam) {
  RecordMessage message;
  StartShortRecord(message, code);
  CommandRecord& record = message.record;
  record.x = x;
  record.y = y;
  record.width = width;
  record.height = height;
  record.shapeParam = shapeParam;
  return SendRecord(message, kShortRecordSize);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL SetColor(int32_t color1, int32_t color2, int32_t color3, int32_t alpha) {
  RecordMessage message;
  StartShortRecord(message, CommandCode::SetColor);
  CommandRecord& record = message.record;
  record.color1 = color1;
  record.color2 = color2;
  record.color3 = color3;
  record.alpha = alpha;
  return SendRecord(message, kShortRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawPixel(int32_t x, int32_t y) {
  RecordMessage message;
  StartShortRecord(message, CommandCode::DrawPixel);
  message.record.x = x;
  message.record.y = y;
  return SendRecord(message, kShortRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawLine(int32_t x, int32_t y, int32_t x2, int32_t y2) {
  RecordMessage message;
  StartShortRecord(message, CommandCode::DrawLine);
  CommandRecord& record = message.record;
  record.x = x;
  record.y = y;
  record.x2 = x2;
  record.y2 = y2;
  return SendRecord(message, kShortRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam) {
  return SendShape(CommandCode::DrawRect, x, y, width, height, shapeParam);
}

VESPRINE_API int32_t VESPRINE_CALL DrawEllipse(int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam) {
  return SendShape(CommandCode::DrawEllipse, x, y, width, height, shapeParam);
}

VESPRINE_API int32_t VESPRINE_CALL DrawString(int32_t x, int32_t y, const char* text, int32_t textParam) {
  RecordMessage message;
  StartTextRecord(message, CommandCode::DrawString);
  CommandRecord& record = message.record;
  record.x = x;
  record.y = y;
  record.textParam = textParam;
  record.textLength = BoundedCopy(record.text, kTextBound, text);
  return SendRecord(message, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawImage(const char* path, int32_t x, int32_t y) {
  RecordMessage message;
  StartTextRecord(message, CommandCode::DrawImage);
  CommandRecord& record = message.record;
  record.x = x;
  record.y = y;
  record.textLength = BoundedCopy(record.text, kTextBound, path);
  return SendRecord(message, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawImageScaled(const char* path, int32_t x, int32_t y, int32_t width,
                                                   int32_t height, int32_t alpha) {
  RecordMessage message;
  StartTextRecord(message, CommandCode::DrawImageScaled);
  CommandRecord& record = message.record;
  record.x = x;
  record.y = y;
  record.width = width;
  record.height = height;
  record.alpha = alpha;
  record.textLength = BoundedCopy(record.text, kTextBound, path);
  return SendRecord(message, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawClear(void) {
  RecordMessage message;
  StartShortRecord(message, CommandCode::DrawClear);
  return SendRecord(message, kShortRecordSize);
}
