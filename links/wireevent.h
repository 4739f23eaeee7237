#pragma once

#include <cstddef>
#include <cstdint>

namespace tallyhost {

// What a link's parser set aside instead of taking it as part of the exchange. The links
// report these bytes so the traffic log can show everything that came over the wire, not
// only the frames that made it into an answer.
enum class TWireKind : std::int32_t
{
    BadChecksum = 1, // a whole frame refused for its checksum (the link answered NAK)
    StaleFrame = 2,  // a good frame with another command's sequence byte (acknowledged, ignored)
    Noise = 3,       // bytes that belong to no frame, or that a refused frame left behind
    KeepAlive = 4,   // DC2, or an intermediate frame: the printer is still working
    Late = 5,        // bytes that came while no command was in progress
};

// Runs of loose bytes (noise, late bytes) are reported in pieces of at most this many bytes,
// so a printer flooding the line costs the log one line per kilobyte.
inline constexpr std::size_t kWireRunLimit = 1024;

// Kind carried in a link notification's parameter; anything else is not a wire kind.
inline bool IsWireKind(std::int32_t value)
{
    return value >= static_cast<std::int32_t>(TWireKind::BadChecksum) &&
           value <= static_cast<std::int32_t>(TWireKind::Late);
}

} // namespace tallyhost
