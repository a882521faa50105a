#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// A failure carrying the final text the user sees.
class VelmoraError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void AssertFailed(const char* module, const char* condition, int line);

} // namespace velmora

// Internal invariant; throws (never aborts) and names the module.
#define VELMORA_ASSERT(cond, module)                                                              \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::velmora::AssertFailed(module, #cond, __LINE__);                                      \
    } while (0)
