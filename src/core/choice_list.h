// SPDX-License-Identifier: GPL-2.0-or-later
// Choice lists of an output profile: elements separated by ",", each either
// a plain value or "key$label". The key is the text before the first "$",
// the label the text after it. Nothing is trimmed and comparisons are exact.
// An empty tail after the last comma is not an element.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rizuvira::core {

// The entries a drop-down list shows, in list order: each element's label,
// or its whole text when it has no "$".
std::vector<std::string> ChoiceLabels(std::string_view list);

// The entry to show for a stored value: the label (or the plain text) of the
// first element whose key (or whole text) equals `value`; empty if none.
std::string ChoiceLabelForValue(std::string_view list, std::string_view value);

// The value to store for a shown entry: the key of the first element whose
// label equals `label`, or the plain element equal to it; empty if none.
std::string ChoiceKeyForLabel(std::string_view list, std::string_view label);

}  // namespace rizuvira::core
