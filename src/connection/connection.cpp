#include "connection.h"

#include <cstring>

#include "VesprineDovetide.h"

namespace {

int32_t Deliver(const void* head, size_t head_size, const void* tail, size_t tail_size) {
  if (!PipeConnection::IsOpen() && !PipeConnection::Open()) return 0;
  switch (PipeConnection::Write(head, head_size, tail, tail_size)) {
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

}  // namespace

int32_t SendCommand(CommandCode code, const void* payload, size_t length) {
  // A payload no longer than a record is framed on the stack and written
  // from one buffer; a longer one is written from where it lies.
  if (length <= kFullRecordSize) {
    char message[sizeof(RecordMessage)];
    std::memcpy(message, &code, kPrefixSize);
    std::memcpy(message + kPrefixSize, payload, length);
    return Deliver(message, kPrefixSize + length, nullptr, 0);
  }
  return Deliver(&code, kPrefixSize, payload, length);
}

int32_t SendRecord(const RecordMessage& message, size_t record_size) {
  return Deliver(&message, kPrefixSize + record_size, nullptr, 0);
}

VESPRINE_API int32_t VESPRINE_CALL Init(void) {
  if (PipeConnection::IsOpen()) PipeConnection::Close();
  return PipeConnection::Open() ? 1 : 0;
}

VESPRINE_API int32_t VESPRINE_CALL Dispose(void) {
  if (!PipeConnection::IsOpen()) return 0;
  return PipeConnection::Close() ? 1 : 0;
}
