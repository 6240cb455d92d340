#pragma once

#include <QString>
#include <functional>

// A new six-digit PIN: the first digit 1 to 9, the others 0 to 9, each uniform. source gives
// 32 random bits a call (the system's cryptographic source unless a test hands in another);
// draws that would favour some digits are thrown away and drawn again.
QString randomPin(const std::function<quint32()> &source = {});
