// SPDX-License-Identifier: GPL-2.0-or-later
// The record of one conversion item (one row of the title list), and the
// rule of the current edit settings. Times are milliseconds.
#pragma once

#include "core/edit_settings.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace rizuvira::core {

struct ConvertItem {
    int32_t title_index;    // from 0
    int32_t chapter_index;  // from 0; -1 for the whole title
    int64_t length_ms;      // length of the title
    int64_t trim_start_ms;  // range to convert: [trim_start, trim_start + trim_length)
    int64_t trim_length_ms;
    EditSettings edit;

    friend bool operator==(const ConvertItem&, const ConvertItem&) = default;
};
static_assert(offsetof(ConvertItem, trim_start_ms) == 16);
static_assert(sizeof(ConvertItem) - offsetof(ConvertItem, trim_start_ms) == 56,
              "the editor's part of an item: trim values and the edit block");

// A row made at disc load: the whole title, default adjustments.
// `duration_ms` is truncated to whole milliseconds by the caller.
ConvertItem MakeTitleItem(int32_t title_index, int64_t duration_ms);

// The process-wide current edit settings: the block the editor last left,
// applied to every item converted afterwards, while trim values stay per
// item. Owned by the main window (or the command line); used from its
// thread only.
class CurrentEditSettings {
public:
    const EditSettings& Get() const { return current_; }

    // At disc load: when the disc lists title 0, its row resets the block
    // (to the defaults); otherwise the block is kept.
    void OnDiscLoaded(const ConvertItem* title0_row);
    // The editor opens on `row`: it starts from the current block.
    void OnEditorOpen(ConvertItem& row) const { row.edit = current_; }
    // The editor closed (OK or Cancel): what it left becomes current.
    void OnEditorClosed(const ConvertItem& row) { current_ = row.edit; }
    // A run starts: every checked row gets the current block.
    void ApplyToRows(std::span<ConvertItem* const> checked_rows) const;

private:
    EditSettings current_ = kDefaultEditSettings;
};

}  // namespace rizuvira::core
