// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/convert_item.h"

namespace rizuvira::core {

ConvertItem MakeTitleItem(int32_t title_index, int64_t duration_ms) {
    ConvertItem item{};
    item.title_index = title_index;
    item.chapter_index = -1;
    item.length_ms = duration_ms;
    item.trim_start_ms = 0;
    item.trim_length_ms = duration_ms;
    item.edit = kDefaultEditSettings;
    return item;
}

void CurrentEditSettings::OnDiscLoaded(const ConvertItem* title0_row) {
    if (title0_row != nullptr) current_ = title0_row->edit;
}

void CurrentEditSettings::ApplyToRows(std::span<ConvertItem* const> checked_rows) const {
    for (ConvertItem* row : checked_rows) {
        if (row != nullptr) row->edit = current_;
    }
}

}  // namespace rizuvira::core
