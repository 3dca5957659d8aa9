// Resource identifiers of the setup engine: the wizard's dialogs, their controls and the texts
// of the string table (engine.rc). The texts with %s take the product's name or a figure.
#pragma once

// Dialogs: the wizard's frame and one page each.
#define IDD_WIZARD 100
#define IDD_PAGE_WELCOME 101
#define IDD_PAGE_LICENCE 102
#define IDD_PAGE_DESTINATION 103
#define IDD_PAGE_COMPONENTS 104
#define IDD_PAGE_GROUP 105
#define IDD_PAGE_READY 106
#define IDD_PAGE_FINISH 107

// Controls.
#define IDC_PAGE_AREA 200
#define IDC_BACK 201
#define IDC_HEADING 202
#define IDC_TEXT 203
#define IDC_LICENCE_TEXT 204
#define IDC_ACCEPT 205
#define IDC_DECLINE 206
#define IDC_DESTINATION 207
#define IDC_BROWSE 208
#define IDC_TYPE 209
#define IDC_COMPONENT_AREA 210
#define IDC_COMPONENT_SIZE 211
#define IDC_SPACE 212
#define IDC_GROUP 213
#define IDC_GROUPS 214
#define IDC_SUMMARY 215
#define IDC_COMPONENT_LIST 216

// Texts.
#define IDS_WIZARD_CAPTION 1  // "%s - Setup Wizard"
#define IDS_WELCOME_HEADING 2 // "Welcome to the installation of %s"
#define IDS_WELCOME_TEXT 3
#define IDS_LICENCE_HEADING 4
#define IDS_LICENCE_UNREADABLE 5 // "%s cannot be read."
#define IDS_DESTINATION_HEADING 6
#define IDS_DESTINATION_TEXT 7
#define IDS_DESTINATION_REFUSED 8 // "%s cannot be the destination folder: "
#define IDS_NOT_WRITABLE 9
#define IDS_COMPONENTS_HEADING 10
#define IDS_COMPONENT_SIZE 11 // "%s: %s bytes"
#define IDS_SPACE_LINE 12     // "Drive %s: %s bytes needed, %s bytes free"
#define IDS_SPACE_UNKNOWN 13  // "Drive %s: %s bytes needed (free space unknown)"
#define IDS_NO_SPACE 14       // "There is not enough space on the drive:\n%s"
#define IDS_GROUP_HEADING 15
#define IDS_GROUP_TEXT 16
#define IDS_GROUP_EMPTY 17
#define IDS_READY_HEADING 18
#define IDS_READY_DESTINATION 19
#define IDS_READY_TYPE 20
#define IDS_READY_COMPONENTS 21
#define IDS_READY_GROUP 22
#define IDS_READY_SIZE 23
#define IDS_CANCEL_QUESTION 24 // "Cancel the installation of %s?"
#define IDS_NEXT 25
#define IDS_INSTALL 26
#define IDS_FINISH 27
#define IDS_FINISH_TEXT 28 // "%s is installed."
#define IDS_BROWSE_TITLE 29
#define IDS_COMPONENT_FIXED 30 // "%s (always installed)"
#define IDS_NO_TYPES 31
#define IDS_COMPONENT_KEPT 32
