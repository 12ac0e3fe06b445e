// xmrender plays through the offline device only. Defining the platform's device here as one
// that never opens keeps the sound system's library (and everything it loads at start-up) out
// of the tool.
#include "sound/output.h"

namespace {

bool openNothing(int32_t) {
    return false;
}
void prepareNothing(int16_t*, uint32_t) {}
void doNothing() {}
uint64_t noPosition() {
    return 0;
}

}  // namespace

const OutputDevice platformOutput = {openNothing, prepareNothing, doNothing, noPosition,
                                     doNothing,   doNothing,      doNothing, doNothing};
