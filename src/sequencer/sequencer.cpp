// The sequencer. Filled in by the sequencer; until then a tick changes nothing, so a loaded
// song plays silence.
#include "sequencer/sequencer.h"

Channel channelTable[kChannelCount];

void playTick(Module*) {}
