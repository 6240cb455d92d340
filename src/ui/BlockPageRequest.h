#pragma once

// Set by the application blocker after it stopped an application: the next FAQ window shows
// the block page instead of the FAQ. The sidebar's FAQ item clears it.
inline bool isBlockPageRequested = false;
