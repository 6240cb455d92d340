#include "X11Desktop.h"

#include <QHash>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {
template <typename Reply>
struct Freed
{
    Reply *reply;
    ~Freed() { std::free(reply); }
    Reply *operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};
} // namespace

std::unique_ptr<X11Desktop> X11Desktop::open()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    std::unique_ptr<X11Desktop> desktop(new X11Desktop(connection, screen));
    if (!desktop->supportsEwmh())
        return nullptr;
    return desktop;
}

X11Desktop::X11Desktop(xcb_connection_t *connection, int screen)
    : m_connection(connection)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && it.rem; ++i)
        xcb_screen_next(&it);
    m_root = it.data->root;
}

X11Desktop::~X11Desktop()
{
    delete m_notifier;
    xcb_disconnect(m_connection);
}

bool X11Desktop::supportsEwmh()
{
    // A window manager that follows EWMH names its check window and lists what it supports.
    const QList<quint32> check = windowList(m_root, atom("_NET_SUPPORTING_WM_CHECK"));
    if (check.isEmpty() || check.first() == 0)
        return false;
    if (!windowList(m_root, atom("_NET_SUPPORTED")).contains(atom("_NET_ACTIVE_WINDOW")))
        return false;

    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11Desktop::drainEvents);
    return true;
}

quint32 X11Desktop::atom(const char *name)
{
    const QByteArray key(name);
    if (auto found = m_atoms.constFind(key); found != m_atoms.constEnd())
        return *found;
    Freed<xcb_intern_atom_reply_t> reply{
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, quint16(key.size()), name), nullptr)};
    const quint32 value = reply ? reply->atom : 0;
    if (value)
        m_atoms.insert(key, value);
    return value;
}

QByteArray X11Desktop::property(quint32 window, quint32 name, quint32 type)
{
    Freed<xcb_get_property_reply_t> reply{xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, name, type ? type : uint32_t(XCB_GET_PROPERTY_TYPE_ANY), 0, 4096),
        nullptr)};
    if (!reply || reply->format == 0)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.reply)),
                      xcb_get_property_value_length(reply.reply));
}

QList<quint32> X11Desktop::windowList(quint32 window, quint32 name)
{
    const QByteArray raw = property(window, name);
    QList<quint32> values(raw.size() / 4);
    std::memcpy(values.data(), raw.constData(), size_t(values.size()) * 4);
    return values;
}

X11Window X11Desktop::describe(quint32 window)
{
    X11Window info;
    info.id = window;
    info.gtkApplicationId = QString::fromUtf8(property(window, atom("_GTK_APPLICATION_ID")));
    const QList<QByteArray> wmClass = property(window, XCB_ATOM_WM_CLASS).split('\0');
    info.instanceName = QString::fromUtf8(wmClass.value(0));
    info.className = QString::fromUtf8(wmClass.value(1));
    const QList<quint32> pid = windowList(window, atom("_NET_WM_PID"));
    info.pid = pid.value(0);
    return info;
}

QList<X11Window> X11Desktop::clientWindows()
{
    QList<X11Window> windows;
    const QList<quint32> ids = windowList(m_root, atom("_NET_CLIENT_LIST"));
    for (quint32 id : ids)
        windows.append(describe(id));
    // Replies may have pulled events off the socket that the notifier will not announce.
    QTimer::singleShot(0, this, &X11Desktop::drainEvents);
    return windows;
}

void X11Desktop::requestClose(quint32 window)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    if (windowList(m_root, atom("_NET_SUPPORTED")).contains(atom("_NET_CLOSE_WINDOW"))) {
        message.window = window;
        message.type = atom("_NET_CLOSE_WINDOW");
        message.data.data32[0] = XCB_CURRENT_TIME;
        message.data.data32[1] = 2; // from a pager-like tool, which the window manager trusts
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
    } else {
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
    }
    xcb_flush(m_connection);
    QTimer::singleShot(0, this, &X11Desktop::drainEvents);
}

void X11Desktop::drainEvents()
{
    const quint32 activeAtom = atom("_NET_ACTIVE_WINDOW");
    bool activeChanged = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            auto *notify = reinterpret_cast<xcb_property_notify_event_t *>(event);
            activeChanged = activeChanged || (notify->window == m_root && notify->atom == activeAtom);
        }
        std::free(event);
    }
    if (!activeChanged)
        return;
    // Every report counts, even of the window reported last: the same application may come
    // back to the front, and the server reuses the numbers of windows that are gone.
    const quint32 active = windowList(m_root, activeAtom).value(0);
    if (active != 0)
        emit activeWindowChanged(describe(active));
    QTimer::singleShot(0, this, &X11Desktop::drainEvents);
}
