// Sprites: the display host keeps them and the current one; the library only
// names them.
#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendName(CommandCode code, const char* name, int32_t width, int32_t height) {
  RecordMessage message;
  StartNameRecord(message, code);
  CommandRecord& record = message.record;
  record.width = width;
  record.height = height;
  record.nameLength = BoundedCopy(record.name, kNameBound, name);
  return SendRecord(message, kFullRecordSize);
}

int32_t SendShort(CommandCode code, int32_t x, int32_t y, int32_t alpha) {
  RecordMessage message;
  StartShortRecord(message, code);
  CommandRecord& record = message.record;
  record.x = x;
  record.y = y;
  record.alpha = alpha;
  return SendRecord(message, kShortRecordSize);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL CreateSprite(const char* name, int32_t width, int32_t height) {
  return SendName(CommandCode::CreateSprite, name, width, height);
}

VESPRINE_API int32_t VESPRINE_CALL DisposeSprite(const char* name) {
  return SendName(CommandCode::DisposeSprite, name, 0, 0);
}

VESPRINE_API int32_t VESPRINE_CALL SetEditSprite(const char* name) {
  return SendName(CommandCode::SetEditSprite, name, 0, 0);
}

VESPRINE_API int32_t VESPRINE_CALL DisposeCurrentSprite(void) {
  return SendShort(CommandCode::DisposeCurrentSprite, 0, 0, 0);
}

VESPRINE_API int32_t VESPRINE_CALL DisposeAllSprites(void) {
  return SendShort(CommandCode::DisposeAllSprites, 0, 0, 0);
}

VESPRINE_API int32_t VESPRINE_CALL SetBound(int32_t x, int32_t y) { return SendShort(CommandCode::SetBound, x, y, 0); }

// Z and visibility have no fields of their own: both travel in x.
VESPRINE_API int32_t VESPRINE_CALL SetZ(int32_t z) { return SendShort(CommandCode::SetZ, z, 0, 0); }

VESPRINE_API int32_t VESPRINE_CALL SetVisible(int32_t visible) {
  return SendShort(CommandCode::SetVisible, visible, 0, 0);
}

VESPRINE_API int32_t VESPRINE_CALL SetAlpha(int32_t alpha) { return SendShort(CommandCode::SetAlpha, 0, 0, alpha); }

VESPRINE_API int32_t VESPRINE_CALL SetOPoint(int32_t x, int32_t y) {
  return SendShort(CommandCode::SetOPoint, x, y, 0);
}
