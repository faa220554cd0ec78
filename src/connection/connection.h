// The one connection to the display host and the writing of each message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/protocol.h"

// Both write one message in one write call, connecting first when no
// connection is held. They return 1 when the whole message was written; 0
// when no connection could be made, the write failed (the connection is then
// closed, so the next command connects anew) or no buffer for the message
// could be obtained.

// Writes `code` followed by `length` payload bytes.
int32_t SendCommand(CommandCode code, const void* payload, size_t length);

// Writes a record message as it stands: its code and the first
// `record_size` bytes (short or full) of its record.
int32_t SendRecord(const RecordMessage& message, size_t record_size);

// The transport behind the pipe name, one implementation per platform. It
// holds the process-wide handle: Disconnected while none is held, Connected
// while one is.
namespace PipeConnection {

enum class WriteResult { kWritten, kFailed, kNoBuffer };

bool IsOpen();
// Opens the pipe once, without waiting for a busy one; false leaves it closed.
bool Open();
// Closes the held handle and returns whether the close succeeded; the
// handle is gone either way.
bool Close();
// Writes `head` followed by `tail` (which may be empty) as one message in one
// write call. kFailed covers a short write.
WriteResult Write(const void* head, size_t head_size, const void* tail, size_t tail_size);

}  // namespace PipeConnection
