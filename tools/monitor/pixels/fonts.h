// The font files compiled into the monitor, so that it draws text alone on
// any machine: DejaVu Sans and IPAGothic, from Debian's fonts-dejavu-core
// and fonts-ipafont-gothic (their licences ship with the release).
#pragma once

enum class FontFace { kDejaVuSans, kIpaGothic };

// The font file's bytes.
const unsigned char* FontData(FontFace face);
