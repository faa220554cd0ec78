// A session file applied to a scene entry by entry, message by message, for
// pictures made without a view: the same scene, images and composition as
// the view's, so the same pixels.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "input/decode.h"
#include "input/session.h"
#include "pixels/layer.h"
#include "render/images.h"
#include "scene/scene.h"

class Walk {
 public:
  // Relative image paths are read from `images`.
  Walk(const std::string& path, const std::string& images);

  // Opens the file and reads its header; false with error() set when it is
  // not a session this monitor reads.
  bool Start();
  // Reads the entries up to the next message, applying the clients' coming
  // and going; false at the end of the file, where an entry cannot be read,
  // or once the monitor is stopping (error() says which). entry() is then
  // the message, not yet applied.
  bool Next();
  // Applies the message that Next read (only in part once the monitor is
  // stopping: see Interrupted).
  void Apply();
  // Whether the monitor is stopping, and error() then says where: what was
  // drawn since may be drawn in part, and is no picture to give.
  bool Interrupted();
  // Both.
  bool Step() {
    if (!Next()) return false;
    Apply();
    return true;
  }
  // The screen as composed now: composed anew only where it changed.
  const Layer& Frame();

  const Scene& scene() const { return scene_; }
  int64_t messages() const { return scene_.messages; }
  const SessionEntry& entry() const { return entry_; }  // the last message read
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::ifstream in_;
  SessionReader reader_;
  ImageFiles images_;
  Scene scene_;
  Layer frame_;
  SessionEntry entry_;
  std::string error_;
};
