#include "VelmoraError.h"

#include <cstdio>

namespace velmora {

bool IsStopRequest(const std::exception& e) {
    const auto* error = dynamic_cast<const VelmoraError*>(&e);
    return error && error->kind() == ErrorKind::Stopped;
}

void AssertFailed(const char* module, const char* condition, int line) {
    char text[512];
    std::snprintf(text, sizeof text, "Assertion failed (%s, %s, line %d)", condition, module, line);
    throw VelmoraError(text);
}

} // namespace velmora
