// Resources: the image files of the resource script (BMP, ICO), decoded for
// LoadBitmapA and LoadIconA. Every read is bounds-checked: a damaged file
// gives no image.
#include <cstdint>
#include <cstring>

#include "resource_images.h"

namespace winapi {
namespace {

uint32_t u16(const unsigned char *p) { return p[0] | (p[1] << 8); }
uint32_t u32(const unsigned char *p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}

// A device-independent bitmap: BITMAPINFOHEADER, then pixels. In an icon the
// height counts the colour rows and the AND-mask rows.
bool decodeDib(const unsigned char *d, size_t size, size_t pixelsAt, bool icon, Image *out) {
  if (size < 40 || u32(d) < 40)
    return false;
  int32_t width = (int32_t)u32(d + 4), height = (int32_t)u32(d + 8);
  unsigned bpp = u16(d + 14), compression = u32(d + 16);
  if (icon)
    height /= 2;
  // The most negative height has no positive counterpart.
  if (height == INT32_MIN)
    return false;
  bool topDown = height < 0;
  if (topDown)
    height = -height;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096)
    return false;
  if ((bpp != 24 && bpp != 32) || (compression != 0 && !(compression == 3 && bpp == 32)))
    return false;
  if (pixelsAt == 0)
    pixelsAt = u32(d) + (compression == 3 ? 12 : 0);
  size_t stride = ((size_t)width * bpp / 8 + 3) & ~(size_t)3;
  if (pixelsAt > size || stride * height > size - pixelsAt)
    return false;
  size_t maskStride = (((size_t)width + 31) / 32) * 4;
  size_t maskAt = pixelsAt + stride * height;
  bool haveMask = icon && maskAt + maskStride * height <= size;
  out->w = width;
  out->h = height;
  out->depth = icon ? 4 : 3;
  out->pixels.assign((size_t)width * height * out->depth, 0);
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    int row = topDown ? y : height - 1 - y;
    const unsigned char *src = d + pixelsAt + stride * row;
    unsigned char *dst = &out->pixels[(size_t)y * width * out->depth];
    for (int x = 0; x < width; ++x, src += bpp / 8, dst += out->depth) {
      dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
      if (icon) {
        dst[3] = bpp == 32 ? src[3] : 255;
        anyAlpha = anyAlpha || (bpp == 32 && src[3]);
      }
    }
  }
  // Icons without alpha take transparency from the AND mask.
  if (icon && !anyAlpha && haveMask)
    for (int y = 0; y < height; ++y) {
      int row = topDown ? y : height - 1 - y;
      const unsigned char *mask = d + maskAt + maskStride * row;
      for (int x = 0; x < width; ++x)
        out->pixels[((size_t)y * width + x) * 4 + 3] = (mask[x / 8] & (0x80 >> (x % 8))) ? 0 : 255;
    }
  return true;
}

} // namespace

bool decodeBmp(const unsigned char *data, size_t size, Image *out) {
  if (!data || size < 14 + 40 || data[0] != 'B' || data[1] != 'M')
    return false;
  size_t offset = u32(data + 10);
  if (offset < 14 + 40 || offset > size)
    return false;
  return decodeDib(data + 14, size - 14, offset - 14, false, out);
}

bool decodeIco(const unsigned char *data, size_t size, std::vector<Image> *out) {
  if (!data || size < 6 || u16(data) != 0 || u16(data + 2) != 1)
    return false;
  size_t count = u16(data + 4);
  if (6 + count * 16 > size)
    return false;
  out->clear();
  for (size_t i = 0; i < count; ++i) {
    const unsigned char *e = data + 6 + i * 16;
    size_t bytes = u32(e + 8), offset = u32(e + 12);
    if (offset > size || bytes > size - offset)
      continue;
    Image img;
    // Entries stored as PNG (usually 256x256) are skipped.
    if (decodeDib(data + offset, bytes, 0, true, &img))
      out->push_back(std::move(img));
  }
  return !out->empty();
}

} // namespace winapi
