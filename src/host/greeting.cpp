#include "host/console.h"

const char kGreetingTitle[] = "Press Alt-Enter for full screen - the demo starts in a moment";
