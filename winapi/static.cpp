// Controls: the "Static" class.
// Win32: the window procedure of static controls (text labels, SS_LEFT broken
// between words into the lines their height holds, with SS_ENDELLIPSIS one
// line cut to their width); their colours come from the parent's answer to
// WM_CTLCOLORSTATIC when they paint.
#include <algorithm>
#include <vector>

#include "controls.h"
#include "gdi.h"

namespace winapi {

namespace {

// The text broken into lines between words, a line ending where the next
// word would pass the width, as Win32's word-breaking statics break it: a
// word wider than the control keeps a line of its own, cut at the edge.
std::vector<std::string> wordLines(const std::string &text, HFONT font, int width) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    std::string paragraph = text.substr(start, end == std::string::npos ? end : end - start);
    if (!paragraph.empty() && paragraph.back() == '\r')
      paragraph.pop_back();
    std::string line;
    bool first = true;
    size_t from = 0;
    while (true) {
      size_t space = paragraph.find(' ', from);
      std::string word = paragraph.substr(from, space == std::string::npos ? space : space - from);
      std::string longer = first ? word : line + " " + word;
      if (!first && textWidth(longer, font) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = longer;
      }
      first = false;
      if (space == std::string::npos)
        break;
      from = space + 1;
    }
    lines.push_back(line);
    if (end == std::string::npos)
      return lines;
    start = end + 1;
  }
}

} // namespace

std::string staticShownText(const Window &w) {
  if (w.kind != Kind::Static)
    return w.text;
  if (w.style & SS_ENDELLIPSIS) {
    if (textWidth(w.text, w.font) <= w.w)
      return w.text;
    std::string cut = w.text;
    while (!cut.empty() && textWidth(cut + "...", w.font) > w.w)
      cut.pop_back();
    return cut + "...";
  }
  std::vector<std::string> lines = wordLines(w.text, w.font, w.w);
  // The lines the control's height holds; at least the first.
  size_t fit = std::max<size_t>(1, (size_t)std::max(0, w.h / fontCellHeight(w.font)));
  std::string shown;
  for (size_t i = 0; i < lines.size() && i < fit; ++i)
    shown += (i ? "\n" : "") + lines[i];
  return shown;
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
