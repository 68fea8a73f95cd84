// A PE32 image's base relocations applied for another base, as the loader
// applies them when it places the image elsewhere than its preferred base.
#pragma once
#include "pe_image.h"

namespace pe {

// Adds newBase minus the preferred base to every word that a fixup names
// and records newBase as the preferred base; the checksum is left to the
// caller. Throws std::runtime_error for an image that is not PE32, has no
// relocation table or a malformed one, or has a fixup outside its sections'
// file data, and for a base that is not a multiple of 64 KiB.
void Rebase(Bytes &image, std::uint32_t newBase);

}  // namespace pe
