// CCheckApp: the application object of Rolvek. It installs the message-box hook, runs the main
// dialog modally for the life of the process and then lets the process end.
#pragma once

class RollStream;

class CCheckApp {
public:
    // Registers the string table and the message-box hook, makes a CCheckDlg the main window
    // (the receiver of every logged message) and runs it modally. Returns false, so the
    // application ends when the dialog does.
    bool InitInstance();

    RollStream* m_pInput = nullptr;  // the window's --input, when given (not owned)
};

// Shows a library message box as a Qt message box (MB_* type bits to icon and buttons) and
// returns the platform's button result (IDOK, IDCANCEL, IDYES, IDNO).
int ShowQtMessageBox(const char* text, const char* caption, unsigned type);
