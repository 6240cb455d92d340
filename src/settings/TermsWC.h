#pragma once

#include "WebWindow.h"

// The terms of use, in the interface language.
class TermsWC : public WebWindow
{
    Q_OBJECT
public:
    TermsWC(WebContentLoader *loader, QWidget *parent);
    QUrl termsUrl;

protected:
    QUrl pageUrl() const override { return termsUrl; }
};
