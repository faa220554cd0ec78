# Writes OUTPUT, a C++ file that holds each of FILES (comma-separated, from the folder DIR) as
# an Asset served under "/" and its name.
string(REPLACE "," ";" FILES "${FILES}")
set(entries "")
set(arrays "")
set(index 0)
foreach(name IN LISTS FILES)
  file(READ ${DIR}/${name} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes} 0};\n")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  else()
    set(type "application/octet-stream")
  endif()
  string(APPEND entries "    {\"/${name}\", \"${type}\", {reinterpret_cast<const char*>(kFile${index}), ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from tools/monitor/web by embed.cmake.
#include \"http/assets.h\"

namespace {
${arrays}
const Asset kAssets[] = {
${entries}};
}  // namespace

const Asset* FindAsset(std::string_view path) {
  for (const Asset& asset : kAssets) {
    if (asset.path == path) return &asset;
  }
  return nullptr;
}
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
