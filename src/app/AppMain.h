#pragma once

class CommmonFunction;
class CustomWindow;
class WebContentLoader;

// Makes window the one the presenters use, with the sidebar and detail pane as main content.
// Web windows use web (the system browser when null or without the plugin).
CommmonFunction &attachPresenters(CustomWindow *window, WebContentLoader *web = nullptr);

// Builds the application objects, runs the event loop and returns the exit status.
int runApplication(int argc, char **argv);
