#include "connection.h"

#include "VesprineDovetide.h"

int32_t SendCommand(CommandCode code, const void* payload, size_t length) {
  if (!PipeConnection::IsOpen() && !PipeConnection::Open()) return 0;
  switch (PipeConnection::Write(code, payload, length)) {
    case PipeConnection::WriteResult::kWritten:
      return 1;
    case PipeConnection::WriteResult::kFailed:
      // The display host is gone or the pipe is broken: drop the handle so
      // the next command reconnects instead of writing into a dead pipe.
      PipeConnection::Close();
      return 0;
    case PipeConnection::WriteResult::kNoBuffer:
      break;
  }
  return 0;
}

VESPRINE_API int32_t VESPRINE_CALL Init(void) {
  if (PipeConnection::IsOpen()) PipeConnection::Close();
  return PipeConnection::Open() ? 1 : 0;
}

VESPRINE_API int32_t VESPRINE_CALL Dispose(void) {
  if (!PipeConnection::IsOpen()) return 0;
  return PipeConnection::Close() ? 1 : 0;
}
