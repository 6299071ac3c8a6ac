#include "Exception.h"

namespace cto {

std::string failureMessage(const Exception& failure) {
    return std::string(failure.kindName()) + " error, con el mensaje : " + failure.message();
}

} // namespace cto
