#pragma once

#include <QString>

// The form check of an e-mail address, made before anything is sent: a local part, an at
// sign, a domain with at least one dot, and 2 to 64 letters after the last dot.
bool isValidEmail(const QString &text);
