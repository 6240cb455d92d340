#pragma once

#include <QString>

// Made when the application blocker closed a blocked application: the next FAQ window shows
// the block page, naming the application; the sidebar's FAQ item clears it. One per
// application, kept by the window registry and handed to the windows that read it.
class BlockPageRequest
{
public:
    bool isBlockPageRequested() const { return m_requested; }
    QString blockedApplication() const { return m_application; }
    void request(const QString &application)
    {
        m_requested = true;
        m_application = application;
    }
    void clear()
    {
        m_requested = false;
        m_application.clear();
    }

private:
    bool m_requested = false;
    QString m_application;
};
