#pragma once

// Whether this process runs with the administrator's identity (root). Some components refuse
// or need other settings then; the web engine's sandbox is one.
bool runsAsAdministrator();
