#pragma once

#include <QString>

// The computer's stable identifier, sent to the server as "platform_unique_id".
QString platformUUID();
// The computer's model name, the default device name of an account.
QString deviceModelName();
