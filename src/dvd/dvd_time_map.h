// SPDX-License-Identifier: GPL-2.0-or-later
// What a DVD source tells a demultiplexer about time: the cell that plays at
// a moment of the area, from the disc's own records. The demultiplexer asks
// the filter upstream of its input for this interface and seeks through it
// where time stamps alone would mislead (they restart between the separately
// encoded pieces of many titles).
#pragma once

#include "dvd/dvd_access.h"
#include "platform/com.h"

namespace rizuvira::dvd {

struct IMyDVDTimeMap : virtual IUnknown {
    static constexpr GUID iid = "9C41D2A7-3B6E-4F18-A5C0-7E2B94D1F063"_guid;
    // `ms` from the start of the area; E_FAIL when the area has no cells.
    virtual HRESULT FindTime(double ms, rizuvira::dvd::DvdCellSpan* span) = 0;
};

}  // namespace rizuvira::dvd
