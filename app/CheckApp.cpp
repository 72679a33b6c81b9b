#include "CheckApp.h"

#include "CheckDlg.h"
#include "Resource.h"

#include <qdxui/QtText.h>

#include <qdx/Platform.h>

#include <QApplication>
#include <QMessageBox>

int ShowQtMessageBox(const char* text, const char* caption, unsigned type)
{
    QMessageBox box;
    box.setWindowTitle(QStringFromTxt(caption));
    box.setText(QStringFromTxt(text).trimmed());
    switch (type & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    default:
        return IDOK;
    }
}

bool CCheckApp::InitInstance()
{
    RegisterRolvekStrings();
    SetMessageBoxHook(&ShowQtMessageBox);
    {
        CCheckDlg dialog;
        dialog.AttachAsMainWindow();
        dialog.SetInput(m_pInput);
        dialog.OnInitDialog();
        dialog.exec();
    }
    SetMessageBoxHook(nullptr);
    return false;
}
