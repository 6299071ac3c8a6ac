#include "AllocatorTuning.h"

#include <malloc.h>

namespace cto {

void tuneAllocatorForLargeTrees() {
    // Failure leaves the default, which only costs time.
    (void)mallopt(M_MXFAST, 0);
}

} // namespace cto
