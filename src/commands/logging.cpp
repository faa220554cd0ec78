// Log forwarding: the line itself, with its NUL, is the payload. The caller's
// bytes are sent as they are: no prefix, no formatting, nothing kept.
#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendLog(CommandCode code, const char* text) {
  const char* nul = text != nullptr ? FindNul(text, kLogBound) : nullptr;
  if (nul == nullptr) return SendCommand(code, "", 1);
  return SendCommand(code, text, static_cast<size_t>(nul - text) + 1);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL LogV(const char* text) { return SendLog(CommandCode::LogV, text); }
VESPRINE_API int32_t VESPRINE_CALL LogD(const char* text) { return SendLog(CommandCode::LogD, text); }
VESPRINE_API int32_t VESPRINE_CALL LogI(const char* text) { return SendLog(CommandCode::LogI, text); }
VESPRINE_API int32_t VESPRINE_CALL LogW(const char* text) { return SendLog(CommandCode::LogW, text); }
VESPRINE_API int32_t VESPRINE_CALL LogE(const char* text) { return SendLog(CommandCode::LogE, text); }
VESPRINE_API int32_t VESPRINE_CALL LogC(const char* text) { return SendLog(CommandCode::LogC, text); }
