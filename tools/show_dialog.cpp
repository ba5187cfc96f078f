// show_dialog: shows one of the applet's dialog templates as the dialog
// manager draws it, for a picture of it (scripts/pictures takes them).
//
//   show_dialog ID RECT_FILE DONE_FILE [--show-hidden] [--text ID=TEXT]... [--string ID=STRING_ID]...
//
// Once the dialog is drawn, its screen rectangle ("x y width height") is
// written to RECT_FILE; the dialog closes itself when DONE_FILE exists, or
// after 20 seconds. --show-hidden shows the controls that start hidden;
// --text puts a text into a control and --string a string of the table.
// The dialog procedure does nothing else: the applet's own procedures fill
// the dialogs in.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT_PTR kDrawnTimer = 1;
constexpr UINT_PTR kDoneTimer = 2;
constexpr UINT kDrawnDelayMs = 700;
constexpr UINT kPollMs = 100;
constexpr int kGiveUpPolls = 200;

struct Fill {
    int id;
    std::string text;
};

struct Options {
    int dialog = 0;
    std::string rect_file;
    std::string done_file;
    bool show_hidden = false;
    std::vector<Fill> fills;
};

Options g_options;
int g_polls = 0;

BOOL CALLBACK ShowChild(HWND child, LPARAM) {
    ShowWindow(child, SW_SHOW);
    return TRUE;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            if (g_options.show_hidden) EnumChildWindows(dialog, ShowChild, 0);
            for (const Fill& f : g_options.fills) SetDlgItemTextA(dialog, f.id, f.text.c_str());
            SetTimer(dialog, kDrawnTimer, kDrawnDelayMs, nullptr);
            return TRUE;
        case WM_TIMER:
            if (wparam == kDrawnTimer) {
                KillTimer(dialog, kDrawnTimer);
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
                GdiFlush();
                RECT r;
                GetWindowRect(dialog, &r);
                if (FILE* f = std::fopen(g_options.rect_file.c_str(), "w")) {
                    std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
                    std::fclose(f);
                }
                SetTimer(dialog, kDoneTimer, kPollMs, nullptr);
            } else if (wparam == kDoneTimer) {
                if (GetFileAttributesA(g_options.done_file.c_str()) != INVALID_FILE_ATTRIBUTES ||
                    ++g_polls > kGiveUpPolls) {
                    KillTimer(dialog, kDoneTimer);
                    EndDialog(dialog, IDOK);
                }
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

bool ParseFill(const char* arg, bool from_table, Fill* out) {
    const char* equals = std::strchr(arg, '=');
    if (equals == nullptr) return false;
    out->id = std::atoi(arg);
    if (!from_table) {
        out->text = equals + 1;
        return true;
    }
    char text[1024];
    if (LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(std::atoi(equals + 1)), text, sizeof text) <= 0) {
        return false;
    }
    out->text = text;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: show_dialog ID RECT_FILE DONE_FILE [--show-hidden] [--text ID=TEXT] [--string ID=N]\n");
        return 2;
    }
    g_options.dialog = std::atoi(argv[1]);
    g_options.rect_file = argv[2];
    g_options.done_file = argv[3];
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        Fill fill;
        if (arg == "--show-hidden") {
            g_options.show_hidden = true;
        } else if ((arg == "--text" || arg == "--string") && i + 1 < argc &&
                   ParseFill(argv[i + 1], arg == "--string", &fill)) {
            g_options.fills.push_back(fill);
            ++i;
        } else {
            std::fprintf(stderr, "show_dialog: cannot use %s\n", argv[i]);
            return 2;
        }
    }
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(g_options.dialog), nullptr, DialogProc, 0);
    if (result == -1) {
        std::fprintf(stderr, "show_dialog: dialog %d cannot be shown (error %lu)\n", g_options.dialog, GetLastError());
        return 1;
    }
    return 0;
}
