// Resources: decoders of the resource script's image files.
#pragma once

#include <cstddef>
#include <vector>

#include "state.h"

namespace winapi {

bool decodeBmp(const unsigned char *data, size_t size, Image *out);
bool decodeIco(const unsigned char *data, size_t size, std::vector<Image> *out);

} // namespace winapi
