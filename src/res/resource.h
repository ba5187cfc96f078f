// Resource numbers of SNKES48.CPL: dialog templates, their controls, the
// icon and the string table. Plain #define lines only, grouped by template,
// so that windres (for SNKES48.rc) and the C++ code read the same file.
#pragma once

// ---- Icon ------------------------------------------------------------------
#define IDI_APPLET 2007

// ---- Dialog templates ------------------------------------------------------
#define IDD_PROFILE 1200
#define IDD_BASIC 1201
#define IDD_ENCRYPTION 1203
#define IDD_ADVANCED 1204
#define IDD_ADMIN 1205
#define IDD_ABOUT 1206
#define IDD_ADAPTER 1207

// Buttons every dialog shares: IDOK 1, IDCANCEL 2 and IDHELP 9 (the
// platform's own numbers). Labels, group boxes and the About box's icon
// carry no id of their own.
#define IDC_STATIC -1

// ---- 1200 profile dialog ---------------------------------------------------
// Row n (1 to 4) of the group box: radio button, name edit, type list.
#define IDC_PROFILE_SELECT1 2106
#define IDC_PROFILE_SELECT2 2107
#define IDC_PROFILE_SELECT3 2108
#define IDC_PROFILE_SELECT4 2109
#define IDC_PROFILE_NAME1 1105
#define IDC_PROFILE_NAME2 1106
#define IDC_PROFILE_NAME3 1107
#define IDC_PROFILE_NAME4 1108
#define IDC_PROFILE_TYPE1 2100
#define IDC_PROFILE_TYPE2 2101
#define IDC_PROFILE_TYPE3 2102
#define IDC_PROFILE_TYPE4 2103
#define IDC_EDIT_PROFILE 2110

// ---- 1201 Basic page -------------------------------------------------------
#define IDC_BASIC_NAME_LABEL 2135
#define IDC_BASIC_NAME 2111
#define IDC_BASIC_SECURITY 2137
#define IDC_BASIC_KEY_LABEL 2125
#define IDC_BASIC_KEY 2115
#define IDC_BASIC_EXPLANATION 2129

// ---- 1203 Encryption page --------------------------------------------------
#define IDC_ENC_SECURITY 2112
#define IDC_ENC_TRANSMIT_KEY 2120
#define IDC_ENC_ALPHANUMERIC 2113
#define IDC_ENC_HEX 2114
#define IDC_ENC_KEY1 2116
#define IDC_ENC_KEY2 2117
#define IDC_ENC_KEY3 2118
#define IDC_ENC_KEY4 2119

// ---- 1204 Advanced page ----------------------------------------------------
#define IDC_ADV_PM_ON 2122
#define IDC_ADV_PM_OFF 2121
#define IDC_ADV_ROBUST_ON 2124
#define IDC_ADV_ROBUST_OFF 2123
#define IDC_ADV_RTS_ON 1118
#define IDC_ADV_RTS_OFF 1117

// ---- 1205 Admin page -------------------------------------------------------
#define IDC_ADMIN_MAC_GROUP 2134
#define IDC_ADMIN_MAC_DEFAULT 1103
#define IDC_ADMIN_MAC_ASSIGNED 1104
#define IDC_ADMIN_MAC 2126
#define IDC_ADMIN_LARGE 1100
#define IDC_ADMIN_MEDIUM 1101
#define IDC_ADMIN_SMALL 1102
#define IDC_ADMIN_EXPLANATION 2130

// ---- 1206 About box --------------------------------------------------------
#define IDC_ABOUT_VERSION 1005

// ---- 1207 Adapter page -----------------------------------------------------
#define IDC_ADAPTER_IOBASE 2127
#define IDC_ADAPTER_IRQ 2128
#define IDC_ADAPTER_EXPLANATION 2131

// ---- String table ----------------------------------------------------------
// Tab titles of the property sheet's pages.
#define IDS_PAGE_BASIC 1300
#define IDS_PAGE_ADVANCED 1301
#define IDS_PAGE_ADMIN 1302
#define IDS_PAGE_ENCRYPTION 1305
#define IDS_PAGE_ADAPTER 1306

// Messages.
#define IDS_MSG_PROFILE_NAME 1310
#define IDS_MSG_TRANSMIT_KEY 1311
#define IDS_MSG_RESTART_PROMPT 1312
#define IDS_MSG_KEY_OR_DISABLE 1313
#define IDS_MSG_MAC_ADDRESS 1315
#define IDS_MSG_KEY_FORMAT_CHARS 1316
#define IDS_MSG_RESTART_NEEDED 1317
#define IDS_MSG_KEY_FORMAT_HEX 1318
#define IDS_MSG_NETWORK_NAME 1322
#define IDS_MSG_RG_NAME_LENGTH 1323
#define IDS_MSG_KEY_LENGTH 1327
#define IDS_MSG_WRONG_DRIVER 1329
#define IDS_MSG_NO_CLIENT_MANAGER 1330
#define IDS_MSG_NO_CARD_ACCESS 1332
#define IDS_MSG_DATA_SECURITY 1333
#define IDS_MSG_NAME_ANY 1334

// The property sheet's caption.
#define IDS_SHEET_CAPTION 1319

// Items of the Encryption page's transmit key list, "Key 1" to "Key 4".
#define IDS_KEY1 1414
#define IDS_KEY2 1415
#define IDS_KEY3 1416
#define IDS_KEY4 1417

// Items of the Adapter page's interrupt list: 1440 to 1448.
#define IDS_IRQ_FIRST 1440
#define IDS_IRQ_LAST 1448

// Network type names: 1449 + the type's value, 0 to 6.
#define IDS_NETTYPE_FIRST 1449
#define IDS_NETTYPE_LAST 1455

// Explanations in the pages' sunken statics.
#define IDS_EXPLAIN_RG 1461
#define IDS_EXPLAIN_AP 1462
#define IDS_EXPLAIN_P2P 1463
#define IDS_EXPLAIN_ADMIN 1464
#define IDS_EXPLAIN_ADAPTER 1465

// Items of the Adapter page's I/O base list: 1500 to 1547.
#define IDS_IOBASE_FIRST 1500
#define IDS_IOBASE_LAST 1547

// Message box captions. They hold no text, so every box has an empty title.
#define IDS_CAPTION_ADMIN 2245
#define IDS_CAPTION_SECURITY 2246
#define IDS_CAPTION_KEY 2247
#define IDS_CAPTION_2248 2248
#define IDS_CAPTION_BASIC 2249
#define IDS_CAPTION_PROFILE 2250
#define IDS_CAPTION_2251 2251
#define IDS_CAPTION_DRIVER 2252
#define IDS_CAPTION_RESTART 2253
#define IDS_CAPTION_CLIENT_MANAGER 2254
#define IDS_CAPTION_CARD 2255
