#pragma once

#include <QString>

// Set by the application blocker when it closed a blocked application: the next FAQ window
// shows the block page, naming blockedApplication. The sidebar's FAQ item clears it.
extern bool isBlockPageRequested;
extern QString blockedApplication;
