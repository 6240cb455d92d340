#include "platform/WindowCompositing.h"

#include <QByteArray>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {
// A compositing manager owns the selection _NET_WM_CM_S<screen> for as long as it runs.
bool x11CompositingManagerRuns()
{
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    bool runs = false;
    if (!xcb_connection_has_error(connection)) {
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        // Only if it exists: an atom nobody ever made has no owner either.
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, quint16(name.size()), name.constData()), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t *owner =
                xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            runs = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
        std::free(atom);
    }
    xcb_disconnect(connection);
    return runs;
}
} // namespace

bool windowsAreComposited(const QString &windowSystem)
{
    // Wayland always composites, and the offscreen renderer keeps the alpha channel.
    return windowSystem != QLatin1String("xcb") || x11CompositingManagerRuns();
}
