#include "commands.h"

namespace {

using enum CommandCode;
using enum PayloadForm;

constexpr CommandInfo kCommands[] = {
    {DrawPixel, "DrawPixel", kShortRecord, kX | kY, 0},
    {DrawRect, "DrawRect", kShortRecord, kX | kY | kWidth | kHeight | kShapeParam, 0},
    {DrawString, "DrawString", kFullRecord, kX | kY | kTextParam | kText, kTextBound},
    {DrawLine, "DrawLine", kShortRecord, kX | kY | kX2 | kY2, 0},
    {SetColor, "SetColor", kShortRecord, kColor1 | kColor2 | kColor3 | kAlpha, 0},
    {DrawImage, "DrawImage", kFullRecord, kX | kY | kText, kTextBound},
    {DrawImageScaled, "DrawImageScaled", kFullRecord, kX | kY | kWidth | kHeight | kAlpha | kText, kTextBound},
    {DrawClear, "DrawClear", kShortRecord, 0, 0},
    {CreateSprite, "CreateSprite", kFullRecord, kWidth | kHeight | kName, kNameBound},
    {DisposeSprite, "DisposeSprite", kFullRecord, kName, kNameBound},
    {DisposeCurrentSprite, "DisposeCurrentSprite", kShortRecord, 0, 0},
    {DisposeAllSprites, "DisposeAllSprites", kShortRecord, 0, 0},
    {SetEditSprite, "SetEditSprite", kFullRecord, kName, kNameBound},
    {SetBound, "SetBound", kShortRecord, kX | kY, 0},
    {SetZ, "SetZ", kShortRecord, kX, 0},
    {SetVisible, "SetVisible", kShortRecord, kX, 0},
    {SetAlpha, "SetAlpha", kShortRecord, kAlpha, 0},
    {SetOPoint, "SetOPoint", kShortRecord, kX | kY, 0},
    {LogV, "LogV", kTextPayload, 0, kLogBound},
    {LogD, "LogD", kTextPayload, 0, kLogBound},
    {LogI, "LogI", kTextPayload, 0, kLogBound},
    {LogW, "LogW", kTextPayload, 0, kLogBound},
    {LogE, "LogE", kTextPayload, 0, kLogBound},
    {LogC, "LogC", kTextPayload, 0, kLogBound},
    {SetResolution, "SetResolution", kShortRecord, kWidth | kHeight, 0},
    {SetBackground, "SetBackground", kFullRecord, kAlpha | kText, kBackgroundBound},
    {SetEncoding, "SetEncoding", kShortRecord, kX, 0},
    {DrawEllipse, "DrawEllipse", kShortRecord, kX | kY | kWidth | kHeight | kShapeParam, 0},
};

}  // namespace

const CommandInfo* FindCommand(int32_t code) {
  for (const CommandInfo& command : kCommands) {
    if (static_cast<int32_t>(command.code) == code) return &command;
  }
  return nullptr;
}

size_t PayloadSize(PayloadForm form) {
  switch (form) {
    case kShortRecord:
      return kShortRecordSize;
    case kFullRecord:
      return kFullRecordSize;
    case kTextPayload:
      break;
  }
  return kLogBound;
}
