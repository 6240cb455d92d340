#pragma once

class ApplicationBlocker;
class CommmonFunction;
class CustomWindow;

// Makes window the one the presenters use, with the sidebar and detail pane as main content.
// The blocker (may be null: no applications listed) goes to the Block Apps screen.
CommmonFunction &attachPresenters(CustomWindow *window, ApplicationBlocker *blocker = nullptr);

// Builds the application objects, runs the event loop and returns the exit status.
int runApplication(int argc, char **argv);
