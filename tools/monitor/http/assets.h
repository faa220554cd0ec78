// The page and its scripts, compiled into the monitor.
#pragma once

#include <string_view>

struct Asset {
  std::string_view path;  // as requested, from "/"
  std::string_view type;  // Content-Type
  std::string_view body;
};

// The asset served at `path`, or nullptr.
const Asset* FindAsset(std::string_view path);
