#!/bin/bash
# Links a host application the way Microsoft's toolchain would: clang for the
# MSVC target, lld-link, the installed VesprineDovetide.lib and an import
# library for the one KERNEL32 function it calls (no MinGW linker, no C
# runtime); then runs it against the installed monitor.
# usage: msvc_consumer.sh STAGE WORK x86_64|i686
set -eu
stage=$1 work=$2 arch=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
cd "$work"
if [ "$arch" = x86_64 ]; then
  printf 'LIBRARY KERNEL32.dll\nEXPORTS\nExitProcess\n' >kernel32.def
  llvm-dlltool -m i386:x86-64 -d kernel32.def -l kernel32.lib
else
  # 32-bit __stdcall names carry their argument bytes; -k imports the plain name.
  printf 'LIBRARY KERNEL32.dll\nEXPORTS\nExitProcess@4\n' >kernel32.def
  llvm-dlltool -m i386 -k -d kernel32.def -l kernel32.lib
fi
clang --target="$arch-pc-windows-msvc" -ffreestanding -fno-stack-protector -O1 -Wall -Werror \
  -I "$stage/include" -c "$here/msvc_consumer/consumer.c" -o consumer.obj
lld-link /nologo /entry:start /subsystem:console /nodefaultlib consumer.obj "$stage/lib/VesprineDovetide.lib" \
  kernel32.lib /out:consumer.exe
cp "$stage/bin/VesprineDovetide.dll" .
"$here/../monitor/monitor_e2e.sh" "$stage/bin" "$here/msvc_consumer/expected.jsonl" 2 "$work/consumer.exe"
