// Built only by the layering check (CMakeLists.txt: terminal_includes_engine), which passes when
// this file fails to compile: the terminal library uses cells and data alone, so that a program
// can show its cells with it without taking the music engine along.
#include "engine/output.h"
