// Bounded copy and append into the program's fixed-size text buffers.
// A text either fits whole or the buffer is left as it was: nothing is ever
// cut, so a value that does not fit cannot turn into a different value.
#pragma once

#include <cstddef>
#include <cstring>

inline bool textCopy(char *dst, size_t capacity, const char *src) {
  if (!dst || capacity == 0)
    return false;
  if (!src)
    src = "";
  size_t len = strlen(src);
  if (len >= capacity)
    return false;
  memmove(dst, src, len + 1);
  return true;
}

inline bool textAppend(char *dst, size_t capacity, const char *src) {
  if (!dst || capacity == 0)
    return false;
  if (!src)
    src = "";
  size_t used = strnlen(dst, capacity);
  if (used == capacity) // not terminated: refuse rather than read past the end
    return false;
  size_t len = strlen(src);
  if (len >= capacity - used)
    return false;
  memmove(dst + used, src, len + 1);
  return true;
}

template <size_t N> bool textCopy(char (&dst)[N], const char *src) { return textCopy(dst, N, src); }

template <size_t N> bool textAppend(char (&dst)[N], const char *src) {
  return textAppend(dst, N, src);
}

// The three texts joined into dst, whole; when they do not fit, dst is left
// empty and the result is false.
template <size_t N>
bool textJoin(char (&dst)[N], const char *first, const char *second = "", const char *third = "") {
  if (textCopy(dst, first) && textAppend(dst, second) && textAppend(dst, third))
    return true;
  dst[0] = '\0';
  return false;
}
