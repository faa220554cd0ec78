// The one connection to the display host and the writing of each message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/protocol.h"

// Writes one message, `code` followed by `length` payload bytes, connecting
// first when no connection is held. Returns 1 when the whole message was
// written; 0 when no connection could be made, the write failed (the
// connection is closed so the next command connects anew) or no buffer for
// the message could be obtained.
int32_t SendCommand(CommandCode code, const void* payload, size_t length);

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
// Writes the framed message in one write call. kFailed covers a short write.
WriteResult Write(CommandCode code, const void* payload, size_t length);

}  // namespace PipeConnection
