#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

// What identifies the application behind one top-level window.
struct X11Window
{
    quint32 id = 0;
    QString gtkApplicationId; // _GTK_APPLICATION_ID
    QString instanceName;     // WM_CLASS, first part
    QString className;        // WM_CLASS, second part
    qint64 pid = 0;           // _NET_WM_PID
};

// Our own connection to the X server ($DISPLAY) with an EWMH window manager on it: follows
// the active window through the root window's _NET_ACTIVE_WINDOW and asks windows to close.
class X11Desktop : public QObject
{
    Q_OBJECT
public:
    // Null when there is no X server or no window manager that publishes the active window.
    static std::unique_ptr<X11Desktop> open();
    ~X11Desktop() override;

    // The managed top-level windows (_NET_CLIENT_LIST).
    QList<X11Window> clientWindows();
    // Through the window manager when it offers _NET_CLOSE_WINDOW, else WM_DELETE_WINDOW.
    void requestClose(quint32 window);

signals:
    void activeWindowChanged(const X11Window &window);

private:
    X11Desktop(xcb_connection_t *connection, int screen);
    quint32 atom(const char *name);
    QByteArray property(quint32 window, quint32 property, quint32 type = 0);
    QList<quint32> windowList(quint32 window, quint32 property);
    X11Window describe(quint32 window);
    bool supportsEwmh();
    void drainEvents();

    xcb_connection_t *m_connection;
    quint32 m_root = 0;
    QSocketNotifier *m_notifier = nullptr;
    QHash<QByteArray, quint32> m_atoms;
};
