// Stands in for ffmpeg in the export's tests, found first on the path as
// ffmpeg (ffmpeg.exe): writes its arguments, one a line, to the file that
// FAKE_FFMPEG_ARGUMENTS names, reads its standard input to the end, and
// writes how many bytes it read to the file its last argument names after
// "file:".
#include <cstdio>
#include <cstdlib>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  const char* record = std::getenv("FAKE_FFMPEG_ARGUMENTS");
  std::FILE* arguments = record != nullptr ? std::fopen(record, "w") : nullptr;
  if (arguments == nullptr) return 2;
  for (int i = 0; i < argc; ++i) std::fprintf(arguments, "%s\n", argv[i]);
  std::fclose(arguments);
  char buffer[65536];
  unsigned long long read = 0;
  for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), stdin)) > 0;) read += got;
  const std::string last = argv[argc - 1];
  if (last.rfind("file:", 0) != 0) return 1;
  std::FILE* output = std::fopen(last.c_str() + 5, "wb");
  if (output == nullptr) return 1;
  std::fprintf(output, "%llu bytes of frames\n", read);
  return std::fclose(output) == 0 ? 0 : 1;
}
