// Built only by the layering check (tests/CMake: backwards_include), which passes when this
// file fails to compile: the renderers sit below the director and must not see its headers.
#include "director/director.h"
