// Owning handles for the libswscale and libswresample contexts of the conversion filters.
#pragma once

extern "C" {
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace rizuvira::filters {

struct SwsContextFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct SwrContextFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextFree>;

}  // namespace rizuvira::filters
