#include "export/walk.h"

#include "input/files.h"
#include "input/stop.h"
#include "render/renderer.h"
#include "render/replay.h"

Walk::Walk(const std::string& path, const std::string& images)
    : path_(path), reader_(in_), images_(images) {}

bool Walk::Start() {
  error_ = CannotRead(path_);
  if (!error_.empty()) return false;
  in_.open(path_, std::ios::binary);
  if (!reader_.Start(error_)) {
    // A stop may have cut the opening short (a FIFO no one writes).
    error_ = Stopping() ? "interrupted after message 0" : path_ + ": " + error_;
    return false;
  }
  return true;
}

bool Walk::Interrupted() {
  if (Stopping() && error_.empty()) error_ = "interrupted after message " + std::to_string(scene_.messages);
  return Stopping();
}

bool Walk::Next() {
  if (Interrupted()) return false;
  SessionEntry entry;
  while (reader_.Next(entry, error_)) {
    if (entry.kind == SessionEntry::kMessage) {
      entry_ = std::move(entry);
      return true;
    }
    ApplyEntry(scene_, entry.kind, entry.client, entry.time, entry.bytes, images_);
  }
  if (!error_.empty()) error_ = path_ + ": " + error_;
  return false;
}

void Walk::Apply() {
  ApplyEntry(scene_, entry_.kind, entry_.client, entry_.time, entry_.bytes, images_);
}

const Layer& Walk::Frame() {
  ComposeDamage(scene_, frame_);
  return frame_;
}
