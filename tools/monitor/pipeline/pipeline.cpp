#include "pipeline/pipeline.h"

Point Pipeline::PointAt(int64_t message, const Gone* gone) {
  Point point = MakePoint(timeline, checkpoints, images, message, gone);
  if (point.held) return point;
  const std::shared_ptr<const Rendered> latest = renderer.Latest();
  point.message = point.first = latest->message;
  point.scene = latest->scene;
  point.frame = latest->frame;
  return point;
}
