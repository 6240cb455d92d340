#pragma once

class ApplicationBlocker;
class CommmonFunction;
class CustomWindow;
class WebContentLoader;

// Makes window the one the presenters use, with the sidebar and detail pane as main content.
// Web windows use web (the system browser when null or without the plugin); the blocker (may
// be null: no applications listed) goes to the Block Apps screen.
CommmonFunction &attachPresenters(CustomWindow *window, WebContentLoader *web = nullptr,
                                  ApplicationBlocker *blocker = nullptr);

// Builds the application objects, runs the event loop and returns the exit status.
int runApplication(int argc, char **argv);
