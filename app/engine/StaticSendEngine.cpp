// For programs that link the engine in: it is there from the start.
#include "app/SendEngine.h"

namespace cto {

SendEngine& sendEngine() {
    return linkedSendEngine();
}

} // namespace cto
