// Resources of the program, registered by id from its resource script.
// Win32: LoadCursorA, LoadIconA, LoadBitmapA, LoadAcceleratorsA,
// GetModuleHandleA; and the registration the generated code calls
// (winapiRegisterResource, winapiRegisterAccelerators).
#include "resource_images.h"
#include "state.h"
#include "winapi_resources.h"

using namespace winapi;

void winapiRegisterResource(int id, int type, const unsigned char *data, size_t size) {
  st().resources[{type, id}] = Resource{data, size};
}

void winapiRegisterAccelerators(int id, const ACCEL *entries, int count) {
  st().accelTables[id] = std::vector<ACCEL>(entries, entries + (count > 0 ? count : 0));
}

static const Resource *findResource(int type, LPCSTR name) {
  if (!IS_INTRESOURCE(name))
    return nullptr;
  auto it = st().resources.find({type, (int)(uintptr_t)name});
  return it == st().resources.end() ? nullptr : &it->second;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  State &s = st();
  HCURSOR *stock = name == IDC_ARROW ? &s.arrow : name == IDC_WAIT ? &s.waitCursor : nullptr;
  if (instance || !stock)
    return nullptr;
  if (!*stock)
    *stock = gdiHandle<HCURSOR>(Gdi(GdiType::Cursor));
  return *stock;
}

// A registered image resource, decoded; nullptr when missing or damaged.
template <typename T>
static std::shared_ptr<T> decodeResource(int type, LPCSTR name,
                                         bool (*decode)(const unsigned char *, size_t, T *)) {
  const Resource *r = findResource(type, name);
  auto out = std::make_shared<T>();
  return r && decode(r->data, r->size, out.get()) ? out : nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  Gdi g(GdiType::Icon);
  if (!instance && name == IDI_APPLICATION)
    return gdiHandle<HICON>(g);
  if (!(g.icons = decodeResource(14, name, decodeIco)))
    return nullptr;
  return gdiHandle<HICON>(g);
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE, LPCSTR name) {
  Gdi g(GdiType::Bitmap);
  if (!(g.image = decodeResource(2, name, decodeBmp)))
    return nullptr;
  return gdiHandle<HBITMAP>(g);
}

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE, LPCSTR name) {
  if (!IS_INTRESOURCE(name))
    return nullptr;
  State &s = st();
  int id = (int)(uintptr_t)name;
  auto it = s.accelTables.find(id);
  if (it == s.accelTables.end())
    return nullptr;
  HACCEL &h = s.loadedAccels[id];
  if (!gdi(h, GdiType::Accel)) {
    Gdi g(GdiType::Accel);
    g.accel = it->second;
    h = gdiHandle<HACCEL>(g);
  }
  return h;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  return name ? nullptr : reinterpret_cast<HMODULE>(0x400000);
}
