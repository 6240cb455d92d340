#pragma once

class CommmonFunction;
class CustomWindow;

// Makes window the one the presenters use, with the sidebar and detail pane as main content.
CommmonFunction &attachPresenters(CustomWindow *window);

// Builds the application objects, runs the event loop and returns the exit status.
int runApplication(int argc, char **argv);
