// The stream to the page, as JSON: the snapshot a page gets when it joins,
// and after it the batches of changes.
#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"
#include "timeline/timeline.h"

// The whole state, drawing history included.
std::string SnapshotJson(const Scene& scene);

// What changed since the last batch; `messages` and `malformed` are the
// counts after its last change.
std::string BatchJson(const std::vector<Change>& changes, long messages, long malformed);

// The scene right after a message, for a page that looks back: the point,
// the range it can look at, the messages listed around the point, and the
// snapshot there, or, when the page asked from a point it shows, the batch
// of changes from there.
std::string SeekJson(const SeekResult& seek);
