#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// What a failure means to the code that catches it; the text is only for the user and may be
// translated.
enum class ErrorKind {
    Failure,  // anything else: shown and the operation ends
    Stopped,  // the user asked the operation to stop
    NoHeader, // no MPEG header where the scan looked for one
};

// A failure carrying the final text the user sees.
class VelmoraError : public std::runtime_error {
public:
    explicit VelmoraError(const std::string& text, ErrorKind kind = ErrorKind::Failure)
        : std::runtime_error(text), m_kind(kind) {}
    explicit VelmoraError(const char* text, ErrorKind kind = ErrorKind::Failure)
        : std::runtime_error(text), m_kind(kind) {}
    ErrorKind kind() const { return m_kind; }

private:
    ErrorKind m_kind;
};

// Whether `e` is a stop the user asked for (whatever language its text is in).
bool IsStopRequest(const std::exception& e);

[[noreturn]] void AssertFailed(const char* module, const char* condition, int line);

} // namespace velmora

// Internal invariant; throws (never aborts) and names the module.
#define VELMORA_ASSERT(cond, module)                                                               \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::velmora::AssertFailed(module, #cond, __LINE__);                                      \
    } while (0)
