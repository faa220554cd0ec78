#include "pixels/fonts.h"

// The files are included by the assembler; VESPRINE_DEJAVU_SANS and
// VESPRINE_IPA_GOTHIC name them. Symbols carry the target's C prefix ("_"
// on 32-bit Windows).
#define VESPRINE_TEXT(x) #x
#define VESPRINE_STRING(x) VESPRINE_TEXT(x)
#define VESPRINE_SYMBOL(name) VESPRINE_STRING(__USER_LABEL_PREFIX__) #name
#ifdef _WIN32
#define VESPRINE_READ_ONLY ".section .rdata,\"dr\"\n"
#else
#define VESPRINE_READ_ONLY ".section .rodata\n"
#endif
#define VESPRINE_EMBED(name, file)             \
  VESPRINE_READ_ONLY ".balign 16\n"            \
  ".globl " VESPRINE_SYMBOL(name) "\n"          \
  VESPRINE_SYMBOL(name) ":\n"                   \
  ".incbin \"" file "\"\n"                      \
  ".byte 0\n"                                   \
  ".text\n"

__asm__(VESPRINE_EMBED(vesprine_dejavu_sans, VESPRINE_DEJAVU_SANS));
__asm__(VESPRINE_EMBED(vesprine_ipa_gothic, VESPRINE_IPA_GOTHIC));

extern "C" const unsigned char vesprine_dejavu_sans[];
extern "C" const unsigned char vesprine_ipa_gothic[];

const unsigned char* FontData(FontFace face) {
  return face == FontFace::kDejaVuSans ? vesprine_dejavu_sans : vesprine_ipa_gothic;
}
