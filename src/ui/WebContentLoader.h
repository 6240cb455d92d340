#pragma once

#include <QPluginLoader>
#include <QStringList>

class WebContent;

// Finds and loads the web plugin on first use. Made once by the application and handed to
// the web windows; without the plugin (or when it fails to load) plugin() is null and the
// windows fall back to the system browser.
class WebContentLoader
{
public:
    // Folders searched in order; the default is the executable's folder, then the installed
    // library folder.
    explicit WebContentLoader(QStringList folders = defaultFolders());

    WebContent *plugin();
    bool attempted() const { return m_attempted; }
    // True once, the first time it is asked after the plugin was found but could not be
    // loaded: the user is told once that pages open in the browser, not at every window.
    bool takeFailureNotice();

    static QStringList defaultFolders();
    static constexpr char fileBaseName[] = "nimbrel-web";

private:
    static void prepareWebEngine();

    QStringList m_folders;
    QPluginLoader m_loader;
    WebContent *m_plugin = nullptr;
    bool m_attempted = false;
    bool m_failed = false;
    bool m_failureNoticed = false;
};
