#pragma once

#include <QDateTime>
#include <QString>
#include <string>

namespace korvex {

// The time a kept program's file name gives ("YYYYMMDDTHHMMSS.mmmZ.kvx",
// UTC); invalid for any other name.
QDateTime KeptProgramTime(const std::string& fileName);

// How a kept program is named to the user: the device (`device`, its
// address with the alias when known) and the local date and time it was
// kept, e.g. "Kept 2026-12-08 at 01:13:01 from 10.0.0.5 (Gate 3)";
// a file whose name holds no time is named by its file name.
QString KeptProgramLabel(const std::string& fileName, const QString& device);

} // namespace korvex
