#pragma once

#include <QDialog>
#include <QPointer>
#include <QUrl>

class CommmonFunction;
class WebContent;
class WebContentLoader;

// A window that shows a web page. Made cheaply (screens make theirs early); the web plugin is
// asked for the first time the window is shown. Without the plugin, pages on the web open in
// the system browser instead (the window then stays hidden) and our local pages are shown as
// plain rich text.
class WebWindow : public QDialog
{
    Q_OBJECT
public:
    WebWindow(WebContentLoader *loader, QWidget *parent);

    void setVisible(bool visible) override;
    // The web view, once the page is shown by the plugin.
    QWidget *webView() const { return m_view; }

protected:
    virtual QUrl pageUrl() const = 0;
    virtual QWidget *createView(WebContent &web);
    // Without the plugin: the address to open in the system browser, or empty to show
    // fallbackHtml() in the window.
    virtual QUrl browserUrl() const { return pageUrl(); }
    virtual QString fallbackHtml() const { return {}; }
    // Where the page goes in the layout (subclasses put their own widgets above it).
    virtual void placeView(QWidget *view);

private:
    bool ensureContent();

    WebContentLoader *m_loader;
    QPointer<QWidget> m_view;
    bool m_prepared = false;
};

// "LiveChat", "FAQWC", "TermsWC" and "PrivacyWC", all sharing loader (which must outlive them).
void registerWebWindows(CommmonFunction &common, WebContentLoader *loader);

// A page address asking for the interface language (?lang=fr in French): our pages and the
// operator's answer in it.
QUrl inInterfaceLanguage(QUrl url);

// A configured address; empty when it does not parse (such a page is not loaded).
QUrl configuredUrl(const char *address);
