#include "links/HidDeviceError.h"

namespace veska {

HidDeviceError::HidDeviceError(const std::string& message) : std::runtime_error(message) {}

}  // namespace veska
