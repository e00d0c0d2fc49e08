#pragma once

#include <QString>
#include <QStringView>

// Text that came from outside (a gateway's answer, a modem's reply) made safe
// to show: on a terminal, in the journal or in a text box a NUL, an escape
// sequence or a bell would act instead of being seen. Every control
// character (C0 apart from tab and line breaks, DEL, C1) is written as
// "\xNN", so what the gateway sent stays readable and nothing else changes.
namespace ControlText {

// Tabs, carriage returns and line feeds are kept.
QString escaped(QStringView text);

// One line for a log or a terminal: line breaks become blanks, the rest is
// escaped, and a text longer than maxChars is cut there with a note of its
// full length.
QString excerpt(QStringView text, qsizetype maxChars = 200);

} // namespace ControlText
