// Controls: the "Static" class.
// Win32: the window procedure of static controls (text labels, SS_LEFT, with
// SS_ENDELLIPSIS cut to their width); their colours come from the parent's
// answer to WM_CTLCOLORSTATIC when they paint.
#include "controls.h"
#include "gdi.h"

namespace winapi {

std::string staticShownText(const Window &w) {
  if (w.kind != Kind::Static || !(w.style & SS_ENDELLIPSIS) || textWidth(w.text, w.font) <= w.w)
    return w.text;
  std::string cut = w.text;
  while (!cut.empty() && textWidth(cut + "...", w.font) > w.w)
    cut.pop_back();
  return cut + "...";
}

void paintStatic(Window &w) {
  Gdi fresh(GdiType::DC);
  fresh.back = kButtonFace;
  HDC dc = gdiHandle<HDC>(fresh);
  Window *parent = find(w.parent);
  HBRUSH brush =
      (HBRUSH)(parent
                   ? SendMessageA(parent->handle, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)w.handle)
                   : DefWindowProcA(w.handle, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)w.handle));
  Gdi *g = gdi(dc, GdiType::DC);
  COLORREF fill = g->back;
  if (!brushColor(brush, &fill) && !brushImage(brush))
    fill = kButtonFace; // no usable brush: the face colour shows
  bool changed =
      !w.painted || w.textColor != g->text || w.backColor != g->back || w.brushColor != fill;
  w.painted = true;
  w.textColor = g->text;
  w.backColor = g->back;
  w.brushColor = fill;
  st().gdi.erase(reinterpret_cast<uintptr_t>(dc));
  if (changed && find(w.handle))
    update(w);
}

LRESULT CALLBACK staticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window *w = find(h);
  if (!w)
    return 0;
  LRESULT result;
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(h, &ps);
    paintStatic(*w);
    EndPaint(h, &ps);
    return 0;
  }
  if (commonControlMessage(*w, msg, wp, lp, &result))
    return result;
  return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi
