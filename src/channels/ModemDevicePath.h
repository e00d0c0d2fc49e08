#pragma once

#include <QString>
#include <QtGlobal>

// Which serial device the modem is on.
//
// The store keeps the modem's port number (GSMSet, "1" for the first port).
// Port N is the N-th on-board serial port, /dev/ttyS<N-1>: port 1 is
// /dev/ttyS0, port 3 /dev/ttyS2. A modem on USB (/dev/ttyUSB0, /dev/ttyACM0)
// or on any other device is named directly, which overrides the number:
//   1. the environment variable SMSENGINE_MODEM_DEVICE (tests and services);
//   2. the per-user setting "Device" in the section "Modem" of the
//      application "GarvelloSMSEng" (the console's settings file,
//      ~/.config/Telvora Software/GarvelloSMSEng.conf).
// docs/modem.md says the same for administrators.
namespace ModemDevicePath {

inline constexpr const char* EnvironmentVariable = "SMSENGINE_MODEM_DEVICE";

// The device for a port number, without overrides; empty text when the
// number names no port (0 or less).
QString forPortNumber(qint16 portNumber);

// The device path given by the environment or the per-user setting, empty
// when neither names one.
QString configuredDevice();

// The device to open: the configured device when there is one, otherwise
// the device of the port number.
QString resolve(qint16 portNumber);

// Writes (empty text: removes) the per-user setting.
void setConfiguredDevice(const QString& path);

} // namespace ModemDevicePath
