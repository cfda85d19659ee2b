// The FLTK presenter: widgets. Shows the layer's windows with FLTK 1.3:
// the main window with its class brush, and one widget per control (static,
// edit, button, combo box with its drop-down list). FLTK never acts on input
// by itself here, and the focus is only what the core says.
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <algorithm>
#include <memory>

#include "../controls.h"
#include "../gdi.h"
#include "../message.h"
#include "../msgbox.h"
#include "fltk.h"

// Outside the layer's namespace: FLTK's offscreen macros name X11's Window.
static Fl_Offscreen toPixmap(const unsigned char *pixels, int w, int h, int depth) {
  Fl_Offscreen pixmap = fl_create_offscreen(w, h);
  fl_begin_offscreen(pixmap);
  // In bands of rows: FLTK keeps its conversion buffer, sized for the
  // largest image it ever drew, for the life of the program (the whole
  // 384x304 background at once left 456 KB of it resident).
  constexpr int kBand = 16;
  for (int y = 0; y < h; y += kBand)
    fl_draw_image(pixels + (size_t)w * depth * y, 0, y, w, std::min(kBand, h - y), depth);
  fl_end_offscreen();
  return pixmap;
}

namespace winapi {
namespace fltk {
namespace {

Fl_Font flFont(HFONT f) {
  const FontData *d = fontData(f);
  int style = 0;
  if (d && d->weight >= 600)
    style |= FL_BOLD;
  if (d && d->italic)
    style |= FL_ITALIC;
  return FL_HELVETICA + style;
}

bool coreFocus(HWND h) { return GetFocus() == h; }

class MainWin : public Fl_Double_Window, public Tag {
public:
  MainWin(HWND h, int w, int ht) : Fl_Double_Window(w, ht), Tag{h} {}
  ~MainWin() override {
    if (tile)
      fl_delete_offscreen(tile);
  }
  // The background tile, converted once into a pixmap of the X server and
  // copied from there at every full redraw.
  Fl_Offscreen tile = 0;
  const Image *tileSource = nullptr;
  void makeTile(const Image &img) {
    if (tile)
      fl_delete_offscreen(tile);
    tile = toPixmap(img.pixels.data(), img.w, img.h, img.depth);
  }
  void draw() override {
    // Only a full redraw paints the background: when just some controls
    // changed, painting it would wipe the others in the back buffer, and
    // they would show blank wherever the window is next exposed (a message
    // box moving or closing over it).
    if (!(damage() & ~FL_DAMAGE_CHILD)) {
      draw_children();
      return;
    }
    Window *w = winapi::find(hwnd);
    COLORREF solid;
    const Image *img = w ? brushImage(w->background) : nullptr;
    if (img && img->w > 0 && img->h > 0) {
      if (tileSource != img) {
        makeTile(*img);
        tileSource = img;
      }
      for (int y = 0; y < h(); y += img->h)
        for (int x = 0; x < this->w(); x += img->w)
          fl_copy_offscreen(x, y, img->w, img->h, tile, 0, 0);
    } else {
      fl_color(w && brushColor(w->background, &solid) ? flColor(solid) : kFace);
      fl_rectf(0, 0, this->w(), h());
    }
    draw_children();
    // The program still gets its WM_PAINT for the exposed window.
    if (w)
      w->needsPaint = w->needsErase = true;
  }
};

class StaticBox : public Fl_Box, public Tag {
public:
  StaticBox(HWND h, int x, int y, int w, int ht) : Fl_Box(x, y, w, ht), Tag{h} {
    // Its lines are the core's (staticShownText), not FLTK's own wrapping.
    align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  }
  void draw() override {
    Window *w = winapi::find(hwnd);
    bool painted = w && w->painted;
    fl_color(painted ? flColor(w->brushColor) : kFace);
    fl_rectf(x(), y(), this->w(), h());
    labelcolor(painted ? flColor(w->textColor) : FL_BLACK);
    // A Win32 static draws its text from the control's left edge; FLTK's
    // plain draw_label() would inset it by 3 pixels on each side.
    draw_label(x(), y(), this->w(), h(), align());
  }
};

class EditInput : public Fl_Input, public Tag {
public:
  EditInput(HWND h, int x, int y, int w, int ht) : Fl_Input(x, y, w, ht), Tag{h} {
    Window *win = winapi::find(h);
    box(win && (win->exStyle & WS_EX_CLIENTEDGE) ? FL_DOWN_BOX // sunken edge
        : win && (win->style & WS_BORDER)        ? FL_BORDER_BOX
                                                 : FL_FLAT_BOX);
    color(FL_WHITE);
    selection_color(FL_SELECTION_COLOR);
  }
  // A single-line Win32 edit draws its text from the top left of its
  // formatting rectangle (border and gap, then the left margin), not
  // centred in the field as FLTK does.
  void draw() override {
    if (damage() & FL_DAMAGE_ALL)
      draw_box(box(), color());
    fl_font(textfont(), textsize());
    drawtext(x() + kEditTextX, y() + kEditTextY, w() - 2 * kEditTextX, fl_height());
  }
  int handle(int e) override {
    if (forwardMouse(this, hwnd, e))
      return 1;
    switch (e) {
    case FL_PASTE:
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_RELEASE:
      return 1;
    case FL_FOCUS:
      return coreFocus(hwnd) ? Fl_Input::handle(e) : 0;
    }
    return Fl_Input::handle(e);
  }
};

class ButtonW : public Fl_Button, public Tag {
public:
  ButtonW(HWND h, int x, int y, int w, int ht) : Fl_Button(x, y, w, ht), Tag{h} {
    color(kFace);
    down_box(FL_DOWN_BOX);
  }
  int handle(int e) override {
    if (forwardMouse(this, hwnd, e))
      return 1;
    switch (e) {
    case FL_FOCUS:
      return coreFocus(hwnd) ? 1 : 0;
    case FL_UNFOCUS:
      redraw();
      return 1;
    case FL_KEYBOARD:
    case FL_SHORTCUT:
      return 0;
    }
    return Fl_Button::handle(e);
  }
};

// The open drop-down list of a combo box: a borderless window under it that
// shows the core's entries and highlight. It holds the pointer while open,
// so a click elsewhere only closes it; keys still go to the message queue,
// where the combo box handles them.
class ListWin : public Fl_Double_Window, public Tag {
public:
  std::vector<std::string> rows; // UTF-8
  int hot = -1, top = 0, rowH = 16, shownRows = 1;
  Fl_Font font = FL_HELVETICA;
  int size = 13;
  Fl_Scrollbar *bar;
  bool barHeld = false;
  explicit ListWin(HWND h) : Fl_Double_Window(0, 0, 10, 10), Tag{h} {
    bar = new Fl_Scrollbar(0, 0, 10, 10);
    bar->linesize(1); // its arrows scroll by one row
    bar->callback(
        [](Fl_Widget *b, void *self) {
          ListWin *l = static_cast<ListWin *>(self);
          l->top = static_cast<Fl_Scrollbar *>(b)->value();
          l->redraw();
        },
        this);
    end();
    set_override();
  }
  int textWidth() const { return w() - 2 - (bar->visible() ? bar->w() : 0); }
  void draw() override {
    fl_color(FL_WHITE);
    fl_rectf(0, 0, w(), h());
    fl_font(font, size);
    for (int r = 0; r < shownRows && top + r < (int)rows.size(); ++r) {
      int i = top + r, y = 1 + r * rowH;
      fl_color(FL_BLACK);
      if (i == hot) {
        fl_color(FL_SELECTION_COLOR);
        fl_rectf(1, y, textWidth(), rowH);
        fl_color(FL_WHITE);
      }
      fl_push_clip(1, y, textWidth(), rowH);
      fl_draw(rows[i].c_str(), 3, y + (rowH - fl_height()) / 2 + fl_height() - fl_descent());
      fl_pop_clip();
    }
    fl_color(FL_BLACK);
    fl_rect(0, 0, w(), h());
    draw_children();
  }
  void scrollTo(int first) {
    top = std::max(0, std::min(first, (int)rows.size() - shownRows));
    bar->value(top, shownRows, 0, (int)rows.size());
    redraw();
  }
  int handle(int e) override {
    int x = Fl::event_x(), y = Fl::event_y();
    bool inside = x >= 0 && y >= 0 && x < w() && y < h();
    switch (e) {
    case FL_PUSH:
      if (!inside) {
        postListDismissed(hwnd);
      } else if (bar->visible() && Fl::event_inside(bar)) {
        barHeld = true;
        bar->handle(e);
      }
      return 1;
    case FL_DRAG:
      if (barHeld)
        bar->handle(e);
      return 1;
    case FL_RELEASE:
      if (barHeld) {
        barHeld = false;
        bar->handle(e);
      } else if (inside && x < 1 + textWidth() && y >= 1 &&
                 top + (y - 1) / rowH < (int)rows.size()) {
        postComboChoice(hwnd, top + (y - 1) / rowH);
      }
      return 1;
    case FL_MOUSEWHEEL:
      scrollTo(top + Fl::event_dy());
      return 1;
    case FL_MOVE:
    case FL_ENTER:
    case FL_LEAVE:
      return 1;
    }
    return Fl_Double_Window::handle(e);
  }
};

// A CBS_DROPDOWN combo box: the edit part and the drop-down button are
// FLTK's; the list is ours (ListWin), opened and closed by the core.
class ComboW : public Fl_Input_Choice, public Tag {
public:
  ListWin *list = nullptr;
  ComboW(HWND h, int x, int y, int w, int ht) : Fl_Input_Choice(x, y, w, ht), Tag{h} {
    input()->box(FL_BORDER_BOX);
  }
  ~ComboW() override {
    closeList();
    delete list;
  }
  int handle(int e) override {
    // The button's own menu never opens: the core decides about the list.
    if (forwardMouse(this, hwnd, e))
      return 1;
    if (e == FL_FOCUS)
      return coreFocus(hwnd) ? Fl_Input_Choice::handle(e) : 0;
    return Fl_Input_Choice::handle(e);
  }
  void closeList() {
    if (!list || !list->shown())
      return;
    if (Fl::grab() == list)
      Fl::grab(nullptr);
    list->hide();
    // Releasing the pointer may move the toolkit's focus; the core's stays.
    if (coreFocus(hwnd))
      input()->take_focus();
  }
  void showList(const Window &w) {
    if (!list) {
      Fl_Group::current(nullptr);
      list = new ListWin(hwnd);
    }
    ListWin *l = list;
    l->rows.clear();
    for (const std::string &s : w.combo->items)
      l->rows.push_back(cp1252ToUtf8(s));
    l->font = input()->textfont();
    l->size = input()->textsize();
    fl_font(l->font, l->size);
    l->rowH = fontCellHeight(w.font); // a list row is one line of the font
    int n = (int)l->rows.size();
    l->shownRows = comboListRows(w);
    int W = this->w(), H = l->shownRows * l->rowH + 2;
    if (n > l->shownRows) {
      l->bar->resize(W - 1 - Fl::scrollbar_size(), 1, Fl::scrollbar_size(), H - 2);
      l->bar->show();
    } else {
      l->bar->hide();
    }
    l->hot = w.combo->hot;
    int first = l->top;
    if (w.combo->hot >= 0 && w.combo->hot < first)
      first = w.combo->hot;
    else if (w.combo->hot >= first + l->shownRows)
      first = w.combo->hot - l->shownRows + 1;
    Fl_Window *win = window();
    int X = win->x_root() + x(), Y = win->y_root() + y() + h();
    if (Y + H > Fl::y() + Fl::h())
      Y = win->y_root() + y() - H; // no room below: above the box
    l->resize(X, Y, W, H);
    l->scrollTo(first);
    if (!l->shown()) {
      l->show();
      Fl::grab(l);
    }
  }
};

Fl_Widget *widget(Window &w) { return static_cast<Fl_Widget *>(w.view); }

void applyFont(Window &w) {
  Fl_Widget *wd = widget(w);
  Fl_Font f = flFont(w.font);
  int size = w.font ? fontPixelSize(w.font) : 13;
  wd->labelfont(f);
  wd->labelsize(size);
  if (w.kind == Kind::Edit) {
    static_cast<Fl_Input *>(wd)->textfont(f);
    static_cast<Fl_Input *>(wd)->textsize(size);
  } else if (w.kind == Kind::Combo) {
    ComboW *c = static_cast<ComboW *>(wd);
    c->input()->textfont(f);
    c->input()->textsize(size);
  }
}

// Sets an input's text when it differs, with the cursor at the end.
void setInputText(Fl_Input *in, const std::string &utf8) {
  if (utf8 != in->value()) {
    in->value(utf8.c_str());
    in->position(in->size());
  }
}

} // namespace

// Window managers read the legacy name properties as X's STRING (ISO 8859-1,
// which is code page 1252 but for 80..9F); FLTK writes UTF-8 bytes there, so
// they are written again with the window's own 8-bit text. The
// UTF-8 name (_NET_WM_NAME) stays FLTK's.
void setLegacyName(Fl_Window *win, const std::string &text) {
  if (!win->shown())
    return;
  for (Atom a : {XA_WM_NAME, XA_WM_ICON_NAME})
    XChangeProperty(fl_display, fl_xid(win), a, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(text.data()), (int)text.size());
}

void create(Window &w) {
  static bool hooked = false;
  if (!hooked) {
    hooked = true;
    hookEvents();
    Fl::visual(FL_DOUBLE | FL_RGB);
    // Ask fontconfig for Arial itself: a metric-compatible face (Liberation
    // Sans) is taken when installed, another sans face otherwise.
    Fl::set_font(FL_HELVETICA, " Arial");
    Fl::set_font(FL_HELVETICA_BOLD, "BArial");
    Fl::set_font(FL_HELVETICA_ITALIC, "IArial");
    Fl::set_font(FL_HELVETICA_BOLD_ITALIC, "PArial");
  }
  Fl_Group::current(nullptr);
  if (w.kind == Kind::Custom && !(w.style & WS_CHILD)) {
    MainWin *win = new MainWin(w.handle, clientWidth(w), clientHeight(w));
    win->end();
    win->position(w.x + clientOffsetX(w), w.y + clientOffsetY(w));
    win->size_range(clientWidth(w), clientHeight(w), clientWidth(w), clientHeight(w));
    win->copy_label(cp1252ToUtf8(w.text).c_str());
    win->callback([](Fl_Widget *wd, void *) {
      // The close box (or the window manager's close): only a request.
      postClose(dynamic_cast<MainWin *>(wd)->hwnd);
    });
    if (const std::vector<Image> *icons = iconImages(w.icon)) {
      std::vector<std::unique_ptr<Fl_RGB_Image>> imgs;
      std::vector<const Fl_RGB_Image *> ptrs;
      for (const Image &i : *icons) {
        imgs.emplace_back(new Fl_RGB_Image(i.pixels.data(), i.w, i.h, i.depth));
        ptrs.push_back(imgs.back().get());
      }
      win->icons(ptrs.data(), (int)ptrs.size()); // FLTK keeps copies
    }
    w.view = win;
    return;
  }
  Window *parent = find(w.parent);
  Fl_Group *group = parent && parent->view ? dynamic_cast<Fl_Group *>(widget(*parent)) : nullptr;
  if (!group)
    return; // controls inside controls are not shown
  Fl_Widget *wd = nullptr;
  switch (w.kind) {
  case Kind::Static:
    wd = new StaticBox(w.handle, w.x, w.y, w.w, w.h);
    break;
  case Kind::Edit:
    wd = new EditInput(w.handle, w.x, w.y, w.w, w.h);
    break;
  case Kind::Button:
    wd = new ButtonW(w.handle, w.x, w.y, w.w, w.h);
    break;
  case Kind::Combo:
    wd = new ComboW(w.handle, w.x, w.y, w.w, kComboClosedHeight);
    break;
  case Kind::Custom:
    wd = new Fl_Box(w.x, w.y, w.w, w.h);
    break;
  }
  group->add(wd);
  w.view = wd;
  applyFont(w);
  if (!w.visible)
    wd->hide();
  if (w.kind == Kind::Static)
    wd->copy_label(cp1252ToUtf8(staticShownText(w)).c_str());
  else if (w.kind == Kind::Button)
    wd->copy_label(cp1252ToUtf8(w.text).c_str());
  group->redraw();
}

void destroy(Window &w) {
  Fl_Widget *wd = widget(w);
  if (!wd)
    return;
  w.view = nullptr;
  if (w.kind == Kind::Combo)
    static_cast<ComboW *>(wd)->closeList();
  if (Fl_Group *parent = wd->parent()) {
    parent->remove(wd);
    parent->redraw();
  }
  wd->hide();
  Fl::delete_widget(wd);
}

void show(Window &w) {
  Fl_Widget *wd = widget(w);
  if (!wd)
    return;
  if (!w.visible) {
    wd->hide();
  } else if (Fl_Window *win = wd->as_window()) {
    win->show();
    setLegacyName(win, w.text);
    if (w.minimized)
      win->iconize();
  } else {
    wd->show();
  }
}

void update(Window &w) {
  Fl_Widget *wd = widget(w);
  if (!wd)
    return;
  applyFont(w); // before the list, which takes the font of the edit part
  std::string utf8 = cp1252ToUtf8(w.text);
  switch (w.kind) {
  case Kind::Custom:
    if (wd->as_window()) {
      wd->copy_label(utf8.c_str());
      setLegacyName(wd->as_window(), w.text);
    }
    break;
  case Kind::Static:
    wd->copy_label(cp1252ToUtf8(staticShownText(w)).c_str());
    break;
  case Kind::Button:
    wd->copy_label(utf8.c_str());
    static_cast<Fl_Button *>(wd)->value(w.pressed ? 1 : 0);
    break;
  case Kind::Edit:
    // A classic password field shows one '*' per character.
    setInputText(static_cast<Fl_Input *>(wd),
                 (w.style & ES_PASSWORD) ? std::string(w.text.size(), '*') : utf8);
    break;
  case Kind::Combo: {
    ComboW *c = static_cast<ComboW *>(wd);
    setInputText(c->input(), utf8);
    if (w.combo->textSelected)
      c->input()->position(c->input()->size(), 0);
    else
      c->input()->position(c->input()->size());
    if (w.combo->dropped && w.visible)
      c->showList(w);
    else
      c->closeList();
    break;
  }
  }
  wd->redraw();
  if (wd->parent())
    wd->parent()->redraw(); // labels' text may have shrunk over the background
}

void focus(Window *w) {
  if (!w || !w->view) {
    Fl::focus(nullptr);
    return;
  }
  Fl_Widget *wd = widget(*w);
  if (w->kind == Kind::Combo)
    wd = static_cast<ComboW *>(wd)->input();
  if (wd->as_window())
    Fl::focus(wd);
  else
    wd->take_focus();
}

void setCursor(Presenter::Cursor c) {
  Fl_Cursor shape = c == Presenter::Wait     ? FL_CURSOR_WAIT
                    : c == Presenter::Hidden ? FL_CURSOR_NONE
                                             : FL_CURSOR_DEFAULT;
  for (Fl_Window *win = Fl::first_window(); win; win = Fl::next_window(win))
    if (dynamic_cast<MainWin *>(win))
      win->cursor(shape);
  Fl::flush(); // the shape shows before whatever blocks next
}

} // namespace fltk

const Presenter *fltkPresenter() {
  static const Presenter kFltk = {true,
                                  fltk::create,
                                  fltk::destroy,
                                  fltk::show,
                                  fltk::update,
                                  fltk::focus,
                                  fltk::waitForEvents,
                                  fltk::flushEvents,
                                  fltk::wakeEvents,
                                  fltk::setCursor,
                                  fltk::messageBox,
                                  startDesktopOpen};
  return &kFltk;
}

} // namespace winapi
