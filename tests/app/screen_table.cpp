#include "screen_table.h"

#include <gtest/gtest.h>
#include <strings.h>

#include "main_window.h"
#include "program_driver.h"
#include "winapi_test.h"

namespace {
const DWORD CHILD = WS_CHILD | WS_VISIBLE;
} // namespace

const std::vector<ControlRow> LOGIN_SCREEN = {
    {&AppState::codeLabel, "STATIC",
     "C\xf3"
     "digo:",
     0, CHILD | WS_TABSTOP, 160, 90, 45, 16, 0},
    // The edit fields are asked for with WS_BORDER; an edit control turns it
    // into a sunken client edge, and the rows hold what the window reports.
    {&AppState::codeEdit, "Edit", "", WS_EX_PALETTEWINDOW | WS_EX_CLIENTEDGE, CHILD, 160, 110, 200,
     26, 0},
    {&AppState::passwordLabel, "STATIC", "Senha:", 0, CHILD, 160, 140, 42, 16, 0},
    {&AppState::passwordEdit, "Edit", "", WS_EX_PALETTEWINDOW | WS_EX_CLIENTEDGE,
     CHILD | ES_PASSWORD, 160, 160, 200, 26, 0},
    {&AppState::loginButton, "BUTTON", "Logar", 0, CHILD | WS_BORDER, 260, 200, 100, 20, CMD_LOGIN},
};

const std::vector<ControlRow> CALL_SCREEN = {
    {&AppState::queueCombo, "ComboBox", nullptr, 0,
     CHILD | WS_VSCROLL | CBS_DROPDOWN | CBS_HASSTRINGS, 160, 110, 210, 200, 0},
    {&AppState::callButton, "BUTTON", "Ligar", 0, CHILD | WS_BORDER, 264, 140, 100, 20, CMD_CALL},
    {&AppState::helpButton, "BUTTON", "Ajuda \xe1reas Consultoria", 0, CHILD | WS_BORDER, 185, 170,
     160, 20, CMD_HELP},
};

const ControlRow HANG_UP_BUTTON = {&AppState::hangUpButton,
                                   "BUTTON",
                                   "Desligar",
                                   0,
                                   CHILD | WS_BORDER,
                                   160,
                                   140,
                                   100,
                                   20,
                                   CMD_HANGUP};

// Its text follows the SIP side; below the help button, from the combo box's
// left edge to its right one, two lines of the label font high.
const ControlRow STATUS_LINE = {
    &AppState::statusLabel, "STATIC", nullptr, 0, CHILD | SS_LEFT, 160, 200, 210, 32, 0};

void expectControls(const std::vector<ControlRow> &rows) {
  using namespace winapi_test;
  std::vector<HWND> controls = children(mainWindow());
  ASSERT_EQ(controls.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const ControlRow &row = rows[i];
    HWND c = controls[i];
    SCOPED_TRACE(row.text ? row.text : row.className);
    EXPECT_EQ(c, app.*row.field);
    EXPECT_EQ(strcasecmp(className(c).c_str(), row.className), 0) << className(c);
    if (row.text) {
      EXPECT_EQ(windowText(c), row.text);
    }
    EXPECT_EQ(exStyle(c), row.exStyle);
    EXPECT_EQ(style(c), row.style);
    Rect r = geometry(c);
    EXPECT_EQ((std::vector<int>{r.x, r.y, r.w, r.h}),
              (std::vector<int>{row.x, row.y, row.w, row.h}));
    EXPECT_EQ(controlId(c), row.id);
    EXPECT_EQ(font(c), app.labelFont);
  }
}

void expectLoginScreen() { expectControls(LOGIN_SCREEN); }

void expectCallScreen(bool withHangUp) {
  std::vector<ControlRow> rows = CALL_SCREEN;
  if (withHangUp)
    rows.push_back(HANG_UP_BUTTON);
  rows.push_back(STATUS_LINE);
  expectControls(rows);
}
