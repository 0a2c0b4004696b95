#include "platform/gui/SystemCursorSource.h"

#include <QCursor>
#include <QGuiApplication>

#ifdef QUELMINT_HAVE_XFIXES
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QtGui/qguiapplication_platform.h>

#include <cmath>
#include <cstdlib>
#endif

SystemCursorSource::SystemCursorSource() = default;

QPoint SystemCursorSource::pointerPosition() {
    return QCursor::pos();
}

std::optional<CursorImage> SystemCursorSource::currentCursor() {
#ifdef QUELMINT_HAVE_XFIXES
    auto* x11 =
        qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr)
        return std::nullopt;
    if (!xfixesChecked_) {
        // The extension must be told which version we speak before its first request.
        xfixesChecked_ = true;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection, &xcb_xfixes_id);
        if (ext != nullptr && ext->present) {
            xcb_xfixes_query_version_reply_t* version = xcb_xfixes_query_version_reply(
                connection, xcb_xfixes_query_version(connection, 4, 0), nullptr);
            xfixes_ = version != nullptr && version->major_version >= 1;
            std::free(version);
        }
    }
    if (!xfixes_)
        return std::nullopt;
    xcb_xfixes_get_cursor_image_reply_t* reply = xcb_xfixes_get_cursor_image_reply(
        connection, xcb_xfixes_get_cursor_image(connection), nullptr);
    if (reply == nullptr)
        return std::nullopt;
    // XFixes speaks device pixels; the windows are placed in device-independent ones.
    const double ratio = qApp->devicePixelRatio() > 0 ? qApp->devicePixelRatio() : 1.0;
    auto scaled = [ratio](int v) { return int(std::lround(v / ratio)); };
    CursorImage image;
    image.position = QPoint(scaled(reply->x), scaled(reply->y));
    image.hotSpot = QPoint(scaled(reply->xhot), scaled(reply->yhot));
    image.mask = QSize(scaled(reply->width), scaled(reply->height));
    image.colour = true; // XFixes hands out the cursor as one ARGB image
    std::free(reply);
    return image;
#else
    return std::nullopt;
#endif
}
