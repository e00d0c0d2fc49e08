#pragma once

#include <QString>

// The text encoding of the gateway's send URL. Letters A to Z and a to z and
// the digits stay; a blank becomes "+"; "%" becomes "%25" and "+" "%2B";
// every other character of the Windows-1252 code page becomes "%" and its
// code in two upper-case hexadecimal digits ("," -> "%2C", "é" -> "%E9",
// tab -> "%09"). The characters of code 1 and 2 come out as "%25" and "%2B"
// (they stand in for "%" and "+" while the text is encoded). A character
// that the code page cannot represent is left unchanged.
//
// Used for the message text of the send URL by the dispatch engine and the
// bulk sender. Pure; the argument is not changed.
QString UrlEncode(const QString& text);
