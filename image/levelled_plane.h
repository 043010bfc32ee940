// Levelled plane: a copy of a picture in which its soft, faint areas (a dot-peened mark in soft
// focus, a low-contrast print seen blurred) are levelled to full contrast around their local mean,
// and everything else is a flat mid grey.
//
// The scan lines and edge tracers follow the mid-level crossing of strong, sharp edges. A mark of
// separate dots blurred together shows only a shallow ripple between its dots and a faint swing
// between ink and metal; the tracers lose it between the dots. Raised to full contrast round the
// local mean (and clipped), the ripple disappears into solid legs and modules. Areas with sharp
// edges were searched well on the picture itself and areas without structure hold nothing, so
// both are left flat: the search of the levelled plane costs little where it cannot help.
#pragma once

#include <cstdint>

namespace norvale {

// The levelled copy of `plane`, malloc'd (width x height bytes, caller frees), or null when no
// square of soft blocks large enough for a symbol is found or memory runs out.
uint8_t* BuildLevelledPlane(const uint8_t* plane, uint32_t width, uint32_t height);

} // namespace norvale
