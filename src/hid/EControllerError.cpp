#include "hid/EControllerError.h"

namespace veska {

EControllerError::EControllerError(const std::string& message) : std::runtime_error(message) {}

}  // namespace veska
