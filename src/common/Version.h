#pragma once

#include <QString>

// The version every program prints for --version.
namespace Version {

// The project's release number, such as "1.0.0".
QString number();
// `git describe` of the checkout the program was built from; empty when it
// was built from a source archive.
QString description();
// The number, followed by the description in parentheses when there is one.
QString text();

} // namespace Version
