#pragma once

#include <QString>

// The computer's stable identifier, sent to the server as "platform_unique_id".
QString platformUUID();
// The computer's model name as its firmware gives it; empty when the firmware names none.
QString deviceModelName();
// The name a device gets unless the user types another: the model name, else the host name,
// so the user always meets a name that is their own machine's.
QString defaultDeviceName();
