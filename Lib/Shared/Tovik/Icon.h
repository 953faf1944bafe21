// The object's icon: built once with the state object from the icon image, drawn where the object sits
// in the frame editor, and copied into a surface of the host's on request.
#pragma once

#include "../Host/HostRecords.h"

#include <cstdint>

class HostSurface;

namespace Tovik {

// Magenta, the colour key of an icon without an alpha channel.
constexpr std::uint32_t IconTransparentColor = 0xFF00FF;

// The icon surface: filled from the icon image when mV has an image filter manager and the image is
// found, else empty. Null when the host's surface library cannot be bound.
HostSurface* BuildIcon(::mV* mV);

} // namespace Tovik
