#include "host/marker_title.h"

#include <cstdlib>

void buildMarkerTitle(char (&title)[kMarkerTitleLength + 1]) {
    for (int i = 0; i < kMarkerTitleLength; ++i)
        title[i] = static_cast<char>(65 + (rand() & 0x31));
    title[kMarkerTitleLength] = '\0';
}
