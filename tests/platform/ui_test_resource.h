// Resource numbers of the UI test programs' own dialogs and strings
// (ui_test.rc). They stay clear of the applet's numbers, so a test program
// can carry both.
#pragma once

// ---- 100 the control dialog ------------------------------------------------
#define IDD_TEST_CONTROLS 100
#define IDC_T_FIRST 201  // radio group 1: 201, 202, 203
#define IDC_T_SECOND 202
#define IDC_T_THIRD 203
#define IDC_T_RED 204  // radio group 2: 204, 205
#define IDC_T_BLUE 205
#define IDC_T_CHECK 206
#define IDC_T_NAME 207  // edits
#define IDC_T_OTHER 208
#define IDC_T_LIST 209  // drop-down list
#define IDC_T_LABEL 210
#define IDC_T_PUSH 211

// ---- 101 a second, smaller dialog -------------------------------------------
#define IDD_TEST_SECOND 101
#define IDC_T2_EDIT 301

// ---- 102 a plain (not extended) template -------------------------------------
#define IDD_TEST_PLAIN 102
#define IDC_T3_TEXT 302

// ---- 110, 111 property sheet pages ---------------------------------------------
#define IDD_TEST_PAGE1 110
#define IDC_P1_EDIT 311
#define IDC_P1_CHECK 312
#define IDD_TEST_PAGE2 111
#define IDC_P2_CHECK 321

// ---- Strings -------------------------------------------------------------------
#define IDS_T_SHEET_CAPTION 100
#define IDS_T_PAGE1 101
#define IDS_T_PAGE2 102
#define IDS_T_HELLO 103
#define IDS_T_EMPTY 104
#define IDS_T_FORMAT 105   // with formats for arguments
#define IDS_T_PERCENT 106  // a "%" that is not a format
