#include "shell/presentation.h"

#include <GL/glx.h>
#include <X11/extensions/Xrandr.h>

#include <cstring>

namespace {

using SwapIntervalExt = void (*)(Display*, GLXDrawable, int);  // GLX_EXT_swap_control
using SwapIntervalMesa = int (*)(unsigned);                    // GLX_MESA_swap_control
using SwapIntervalSgi = int (*)(int);                          // GLX_SGI_swap_control: no 0

// Extension names are whole words of the space-separated list.
bool offers(const char* extensions, const char* name)
{
    const size_t length = std::strlen(name);
    for (const char* at = extensions; at != nullptr && (at = std::strstr(at, name)) != nullptr;
         at += length) {
        const bool starts = at == extensions || at[-1] == ' ';
        if (starts && (at[length] == ' ' || at[length] == '\0'))
            return true;
    }
    return false;
}

template <typename Function> Function glx_function(const char* name)
{
    return reinterpret_cast<Function>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

}  // namespace

bool set_swap_interval(int interval)
{
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0)
        return false;
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (offers(extensions, "GLX_EXT_swap_control")) {
        if (const auto swap_interval = glx_function<SwapIntervalExt>("glXSwapIntervalEXT")) {
            swap_interval(display, drawable, interval);
            return true;
        }
    }
    if (offers(extensions, "GLX_MESA_swap_control")) {
        if (const auto swap_interval = glx_function<SwapIntervalMesa>("glXSwapIntervalMESA"))
            return swap_interval(static_cast<unsigned>(interval)) == 0;
    }
    if (interval > 0 && offers(extensions, "GLX_SGI_swap_control")) {
        if (const auto swap_interval = glx_function<SwapIntervalSgi>("glXSwapIntervalSGI"))
            return swap_interval(interval) == 0;
    }
    return false;
}

double display_refresh_hz()
{
    Display* display = glXGetCurrentDisplay();
    if (display == nullptr)
        return DEFAULT_REFRESH_HZ;
    int event_base = 0, error_base = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base))
        return DEFAULT_REFRESH_HZ;
    XRRScreenConfiguration* config = XRRGetScreenInfo(display, DefaultRootWindow(display));
    if (config == nullptr)
        return DEFAULT_REFRESH_HZ;
    const short rate = XRRConfigCurrentRate(config);
    XRRFreeScreenConfigInfo(config);
    return rate > 0 ? rate : DEFAULT_REFRESH_HZ;
}
