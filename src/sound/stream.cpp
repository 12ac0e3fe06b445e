#include "sound/output.h"

int32_t sampleRate = 0;
int32_t blockFrames = 0;
int32_t ringFrames = 0;
int32_t rampFrames = 0;
float rampReciprocal = 0.0f;
