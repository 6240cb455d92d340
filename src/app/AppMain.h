#pragma once

// Builds the application objects, runs the event loop and returns the exit status.
int runApplication(int argc, char **argv);
