#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>
#include <QUrl>

// One running copy per user, over a local socket only that user can open. A newly started
// copy asks the older one to quit and stays; a copy started only to open links hands them
// to the running one instead.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QString serverName = defaultServerName(), QObject *parent = nullptr);

    static QString defaultServerName();

    // True when a running copy took the links.
    bool sendUrls(const QStringList &urls, int timeoutMs = 3000);
    // Asks a running copy to quit, waits for it to go, then answers for this copy.
    bool takeOver(int timeoutMs = 5000);
    bool isListening() const { return m_server.isListening(); }

signals:
    void quitRequested();
    void urlReceived(const QUrl &url);

private:
    void onNewConnection();

    QString m_name;
    QLocalServer m_server;
};
