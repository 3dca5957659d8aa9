// Resource identifiers of the loader (Quenda): string table, disclaimer dialog and icon.
#pragma once

// String table.
#define IDS_CAPTION 1         // "Tarvo Setup"
#define IDS_ENGINE_NAME 2     // default engine file, beside the loader
#define IDS_DISCLAIMER_FILE 3 // disclaimer text file, relative to the loader's folder
#define IDS_INSERT_PROMPT 4   // insert a diskette or CD
#define IDS_CONFIRM_CANCEL 5  // confirmation before giving up
#define IDS_NETWORK_PROMPT 6  // connect a network drive

// Icon.
#define IDI_QUENDA 128

// Disclaimer dialog and its controls.
#define IDD_DISCLAIMER 129
#define IDC_HEADING 130
#define IDC_DISCLAIMER_TEXT 131
