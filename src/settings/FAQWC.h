#pragma once

#include "WebWindow.h"
#include "ui/BlockPage.h"

class QLineEdit;

// The FAQ page, or our block page after an application was blocked (chosen when the window
// is made), both in the interface language. The FAQ's search field only logs what is typed;
// the block page has none.
class FAQWC : public WebWindow
{
    Q_OBJECT
public:
    // With a block page request: the block page, naming its application.
    FAQWC(WebContentLoader *loader, QWidget *parent, const BlockPageRequest &request = {});

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
    QString m_blockedApplication;
};
