#pragma once

#include "WebWindow.h"

class QLineEdit;

// Set when an application was blocked: the next FAQ window shows the block page. The
// sidebar's FAQ item clears it. blockedApplication names the application for the page.
extern bool isBlockPageRequested;
extern QString blockedApplication;

// The FAQ page, or our block page after an application was blocked (chosen when the window
// is made). The search field only logs what is typed.
class FAQWC : public WebWindow
{
    Q_OBJECT
public:
    FAQWC(WebContentLoader *loader, QWidget *parent);

    void searchAction();

    QUrl faqPageURL;

protected:
    QUrl pageUrl() const override { return faqPageURL; }
    QUrl browserUrl() const override;
    QString fallbackHtml() const override;
    void placeView(QWidget *view) override;

private:
    QLineEdit *m_search = nullptr;
    bool m_blockPage = false;
};
