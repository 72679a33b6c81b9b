// Resource numbers of the Rolvek application.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CHECK_DIALOG 102
#define IDR_MAINFRAME 128

#define IDM_ABOUTBOX 0x0010

// Registers the application's string table with the library (RegisterStringTable).
void RegisterRolvekStrings();
