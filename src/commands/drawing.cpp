// Drawing: colour, shapes, text, images and clearing, one record message each.
#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendShape(CommandCode code, int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam) {
  CommandRecord record;
  StartRecord(record, code, kShortRecordSize);
  record.x = x;
  record.y = y;
  record.width = width;
  record.height = height;
  record.shapeParam = shapeParam;
  return SendCommand(code, &record, kShortRecordSize);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL SetColor(int32_t color1, int32_t color2, int32_t color3, int32_t alpha) {
  CommandRecord record;
  StartRecord(record, CommandCode::SetColor, kShortRecordSize);
  record.color1 = color1;
  record.color2 = color2;
  record.color3 = color3;
  record.alpha = alpha;
  return SendCommand(CommandCode::SetColor, &record, kShortRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawPixel(int32_t x, int32_t y) {
  CommandRecord record;
  StartRecord(record, CommandCode::DrawPixel, kShortRecordSize);
  record.x = x;
  record.y = y;
  return SendCommand(CommandCode::DrawPixel, &record, kShortRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawLine(int32_t x, int32_t y, int32_t x2, int32_t y2) {
  CommandRecord record;
  StartRecord(record, CommandCode::DrawLine, kShortRecordSize);
  record.x = x;
  record.y = y;
  record.x2 = x2;
  record.y2 = y2;
  return SendCommand(CommandCode::DrawLine, &record, kShortRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam) {
  return SendShape(CommandCode::DrawRect, x, y, width, height, shapeParam);
}

VESPRINE_API int32_t VESPRINE_CALL DrawEllipse(int32_t x, int32_t y, int32_t width, int32_t height, int32_t shapeParam) {
  return SendShape(CommandCode::DrawEllipse, x, y, width, height, shapeParam);
}

VESPRINE_API int32_t VESPRINE_CALL DrawString(int32_t x, int32_t y, const char* text, int32_t textParam) {
  CommandRecord record;
  StartRecord(record, CommandCode::DrawString, kFullRecordSize);
  record.x = x;
  record.y = y;
  record.textParam = textParam;
  record.textLength = BoundedCopy(record.text, kTextBound, text);
  return SendCommand(CommandCode::DrawString, &record, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawImage(const char* path, int32_t x, int32_t y) {
  CommandRecord record;
  StartRecord(record, CommandCode::DrawImage, kFullRecordSize);
  record.x = x;
  record.y = y;
  record.textLength = BoundedCopy(record.text, kTextBound, path);
  return SendCommand(CommandCode::DrawImage, &record, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawImageScaled(const char* path, int32_t x, int32_t y, int32_t width,
                                                   int32_t height, int32_t alpha) {
  CommandRecord record;
  StartRecord(record, CommandCode::DrawImageScaled, kFullRecordSize);
  record.x = x;
  record.y = y;
  record.width = width;
  record.height = height;
  record.alpha = alpha;
  record.textLength = BoundedCopy(record.text, kTextBound, path);
  return SendCommand(CommandCode::DrawImageScaled, &record, kFullRecordSize);
}

VESPRINE_API int32_t VESPRINE_CALL DrawClear(void) {
  CommandRecord record;
  StartRecord(record, CommandCode::DrawClear, kShortRecordSize);
  return SendCommand(CommandCode::DrawClear, &record, kShortRecordSize);
}
