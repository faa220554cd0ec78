// The cost of building each payload form, without the write, so that a
// regression in it shows up on its own.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "protocol/protocol.h"

namespace {

void ShortRecord(benchmark::State& state) {
  for (auto _ : state) {
    RecordMessage message;
    StartShortRecord(message, CommandCode::DrawPixel);
    message.record.x = 10;
    message.record.y = 20;
    benchmark::DoNotOptimize(message);
  }
}
BENCHMARK(ShortRecord);

void FullRecordWithText(benchmark::State& state) {
  const std::string text(static_cast<size_t>(state.range(0)), 't');
  for (auto _ : state) {
    RecordMessage message;
    StartTextRecord(message, CommandCode::DrawString);
    message.record.x = 5;
    message.record.textLength = BoundedCopy(message.record.text, kTextBound, text.c_str());
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sizeof(RecordMessage)));
}
BENCHMARK(FullRecordWithText)->Arg(3)->Arg(4000);

void FullRecordWithName(benchmark::State& state) {
  for (auto _ : state) {
    RecordMessage message;
    StartNameRecord(message, CommandCode::CreateSprite);
    message.record.nameLength = BoundedCopy(message.record.name, kNameBound, "hero");
    benchmark::DoNotOptimize(message);
  }
}
BENCHMARK(FullRecordWithName);

// A log line is not built, only measured: its length is found within the bound.
void TextPayloadScan(benchmark::State& state) {
  const std::string line(static_cast<size_t>(state.range(0)), 'l');
  for (auto _ : state) benchmark::DoNotOptimize(std::memchr(line.c_str(), 0, kLogBound));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(TextPayloadScan)->Arg(5)->Arg(65535);

}  // namespace

BENCHMARK_MAIN();
