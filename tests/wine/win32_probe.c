/* Window probe: prints the visible top-level windows of a running program
 * and their controls, one line each, for tests to read.
 *
 *   win32-probe.exe IMAGE-NAME      e.g. win32-probe.exe dravik-tirn.exe
 *
 * window class="..." text="..." rect=X,Y,W,H client=X,Y,W,H style=0x... active=0|1
 *   control id=N class="..." text="..." rect=X,Y,W,H style=0x... focus=0|1
 *   [items=N sel=N, then one  item N "..."  line each, for combo boxes]
 *
 * A window's rectangle and its client area are on the screen, a control's
 * rectangle is in its parent's client area. Texts are UTF-8, with \ " and line ends
 * escaped. Exit code 0 when the program runs, 2 when no process of that name exists. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
/* needs windows.h first */
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#define MAX_PIDS 16
#define TEXT_CAP 4096
#define REPLY_MS 2000

static DWORD pids[MAX_PIDS];
static int pidCount;

static int ours(DWORD pid) {
  for (int i = 0; i < pidCount; ++i)
    if (pids[i] == pid)
      return 1;
  return 0;
}

static void findProcesses(const char *image) {
  wchar_t wanted[MAX_PATH];
  MultiByteToWideChar(CP_UTF8, 0, image, -1, wanted, MAX_PATH);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && pidCount < MAX_PIDS;
       more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, wanted) == 0)
      pids[pidCount++] = entry.th32ProcessID;
  CloseHandle(snapshot);
}

static void printText(const wchar_t *text) {
  char utf8[TEXT_CAP * 4];
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
  putchar('"');
  for (const char *c = utf8; *c; ++c) {
    if (*c == '"' || *c == '\\')
      printf("\\%c", *c);
    else if (*c == '\n')
      fputs("\\n", stdout);
    else if (*c == '\r')
      fputs("\\r", stdout);
    else if (*c == '\t')
      fputs("\\t", stdout);
    else
      putchar(*c);
  }
  putchar('"');
}

/* The text as the window itself answers it (an edit control's content, not
 * its creation title); empty when the program does not answer in time. */
static void windowText(HWND window, wchar_t *text) {
  DWORD_PTR copied = 0;
  text[0] = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, TEXT_CAP, (LPARAM)text, SMTO_ABORTIFHUNG, REPLY_MS,
                           &copied))
    text[0] = 0;
  text[TEXT_CAP - 1] = 0;
}

static void printCombo(HWND combo) {
  DWORD_PTR count = 0, selected = 0;
  SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, REPLY_MS, &count);
  SendMessageTimeoutW(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, REPLY_MS, &selected);
  printf(" items=%d sel=%d\n", (int)count, (int)(LRESULT)selected);
  for (int i = 0; i < (int)count; ++i) {
    wchar_t text[TEXT_CAP];
    DWORD_PTR length = 0;
    text[0] = 0;
    if (SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, REPLY_MS, &length) &&
        (LRESULT)length >= 0 && length < TEXT_CAP)
      SendMessageTimeoutW(combo, CB_GETLBTEXT, i, (LPARAM)text, SMTO_ABORTIFHUNG, REPLY_MS,
                          &length);
    printf("    item %d ", i);
    printText(text);
    putchar('\n');
  }
}

static void printControls(HWND parent, HWND focus, int depth) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[256], text[TEXT_CAP];
    RECT rect;
    GetClassNameW(child, className, 256);
    windowText(child, text);
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, (POINT *)&rect, 2);
    printf("%*scontrol id=%d class=", 2 * depth, "", (int)GetDlgCtrlID(child));
    printText(className);
    fputs(" text=", stdout);
    printText(text);
    printf(" rect=%ld,%ld,%ld,%ld style=0x%08lX focus=%d", rect.left, rect.top,
           rect.right - rect.left, rect.bottom - rect.top,
           (unsigned long)GetWindowLongW(child, GWL_STYLE), child == focus);
    if (_wcsicmp(className, L"ComboBox") == 0)
      printCombo(child);
    else
      putchar('\n');
    printControls(child, focus, depth + 1);
  }
}

static BOOL CALLBACK printWindow(HWND window, LPARAM unused) {
  (void)unused;
  DWORD pid = 0;
  DWORD thread = GetWindowThreadProcessId(window, &pid);
  if (!ours(pid) || !IsWindowVisible(window))
    return TRUE;
  GUITHREADINFO gui;
  memset(&gui, 0, sizeof gui);
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(thread, &gui);

  wchar_t className[256], text[TEXT_CAP];
  RECT rect;
  GetClassNameW(window, className, 256);
  windowText(window, text);
  POINT client = {0, 0};
  RECT clientRect;
  GetWindowRect(window, &rect);
  GetClientRect(window, &clientRect);
  ClientToScreen(window, &client);
  fputs("window class=", stdout);
  printText(className);
  fputs(" text=", stdout);
  printText(text);
  printf(" rect=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld style=0x%08lX active=%d\n", rect.left,
         rect.top, rect.right - rect.left, rect.bottom - rect.top, client.x, client.y,
         clientRect.right, clientRect.bottom, (unsigned long)GetWindowLongW(window, GWL_STYLE),
         window == gui.hwndActive);
  printControls(window, gui.hwndFocus, 1);
  return TRUE;
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: win32-probe IMAGE-NAME\n");
    return 64;
  }
  findProcesses(argv[1]);
  if (pidCount == 0) {
    puts("process none");
    return 2;
  }
  EnumWindows(printWindow, 0);
  return 0;
}
