#include "app_state.h"

AppState app;

// The label font of every control exists before WinMain, like the rest of the
// record (defined here, after app, so that the order is fixed): Arial, cell
// height 16, everything else the defaults.
static const bool labelFontMade =
    (app.labelFont = CreateFontA(16, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, "Arial"),
     true);
