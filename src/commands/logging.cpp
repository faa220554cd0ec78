// Log forwarding: the line itself, with its NUL, is the payload. The caller's
// bytes are sent as they are, read in place: no copy, no prefix, nothing kept.
#include <cstring>

#include "VesprineDovetide.h"
#include "connection/connection.h"

namespace {

int32_t SendLog(CommandCode code, const char* text) {
  const void* nul = text != nullptr ? std::memchr(text, 0, kLogBound) : nullptr;
  if (nul == nullptr) return SendCommand(code, "", 1);
  return SendCommand(code, text, static_cast<const char*>(nul) - text + 1);
}

}  // namespace

VESPRINE_API int32_t VESPRINE_CALL LogV(const char* text) { return SendLog(CommandCode::LogV, text); }
VESPRINE_API int32_t VESPRINE_CALL LogD(const char* text) { return SendLog(CommandCode::LogD, text); }
VESPRINE_API int32_t VESPRINE_CALL LogI(const char* text) { return SendLog(CommandCode::LogI, text); }
VESPRINE_API int32_t VESPRINE_CALL LogW(const char* text) { return SendLog(CommandCode::LogW, text); }
VESPRINE_API int32_t VESPRINE_CALL LogE(const char* text) { return SendLog(CommandCode::LogE, text); }
VESPRINE_API int32_t VESPRINE_CALL LogC(const char* text) { return SendLog(CommandCode::LogC, text); }
