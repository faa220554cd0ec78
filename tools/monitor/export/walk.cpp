#include "export/walk.h"

#include "input/files.h"
#include "input/stop.h"

Walk::Walk(const std::string& path, const std::string& images)
    : path_(path), reader_(in_), images_(images), source_(images_.Source()) {}

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

bool Walk::Next() {
  if (Stopping()) {
    error_ = "interrupted after message " + std::to_string(scene_.messages);
    return false;
  }
  SessionEntry entry;
  while (reader_.Next(entry, error_)) {
    switch (entry.kind) {
      case SessionEntry::kJoined:
        ClientJoined(scene_, entry.client);
        break;
      case SessionEntry::kLeft:
        ClientLeft(scene_, entry.client);
        break;
      case SessionEntry::kMessage:
        entry_ = std::move(entry);
        return true;
    }
  }
  if (!error_.empty()) error_ = path_ + ": " + error_;
  return false;
}

void Walk::Apply() {
  ApplyMessage(scene_, entry_.client, Decode(entry_.bytes.data(), entry_.bytes.size()), entry_.time / 1000, source_);
}

const Layer& Walk::Frame() {
  if (frame_.width() != scene_.width || frame_.height() != scene_.height) {
    frame_ = Layer(scene_.width, scene_.height);
    scene_.damage = Scene::Damaged(scene_.width, scene_.height);
  }
  Compose(CompositionOf(scene_), scene_.damage, frame_);
  scene_.damage.Reset(scene_.width, scene_.height);
  return frame_;
}
