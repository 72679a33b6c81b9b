// The library's texts (CTxt, char*) are 8-bit UTF-8; Qt's are QString. These two turn one into
// the other, for the widgets and for the application alike.
//
//   label->setText(QStringFromTxt(message));           // "Größe" stays "Größe"
//   CTxt face = TxtFromQString(font.family()).constData();
#pragma once

#include <QByteArray>
#include <QString>

// The Qt string of an 8-bit UTF-8 text; null gives an empty string.
inline QString QStringFromTxt(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The 8-bit UTF-8 text of a Qt string.
inline QByteArray TxtFromQString(const QString& text)
{
    return text.toUtf8();
}
