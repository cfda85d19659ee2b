// The controls of both screens as the program must create them, in creation
// order, and the check of the live window against them: a control moved,
// resized, restyled or renumbered fails it.
#pragma once

#include <windows.h>

#include <vector>

#include "app_state.h"

struct ControlRow {
  HWND AppState::*field; // where the program keeps its handle
  const char *className;
  const char *text; // nullptr: not fixed (the combo box shows its selection)
  DWORD exStyle, style;
  int x, y, w, h, id;
};

extern const std::vector<ControlRow> LOGIN_SCREEN;
extern const std::vector<ControlRow> CALL_SCREEN; // without "Desligar"
extern const ControlRow HANG_UP_BUTTON;           // the call screen's, during a call
extern const ControlRow STATUS_LINE;              // the call screen's last control

// The main window holds exactly these controls, in this order, each as its
// row says and in the label font.
void expectControls(const std::vector<ControlRow> &rows);
void expectLoginScreen();
void expectCallScreen(bool withHangUp);
