#pragma once

#include "WebWindow.h"

// The privacy policy, in the interface language, centred.
class PrivacyWC : public WebWindow
{
    Q_OBJECT
public:
    PrivacyWC(WebContentLoader *loader, QWidget *parent);
    QUrl privacyUrl;

protected:
    QUrl pageUrl() const override { return privacyUrl; }
};
